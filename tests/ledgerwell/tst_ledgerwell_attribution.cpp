#include "LedgerwellHarness.h"
#include "TestMain.h"

#include "ConnectionSettings.h"
#include "Counters.h"
#include "LogLine.h"
#include "PooledConnection.h"
#include "ProcessLog.h"

#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <random>
#include <set>

namespace {

using Lines = QList<QByteArray>;
using Rows = QList<QStringList>;

const QByteArray T = "L 10/10/2024 - 12:00:00: ";

// A player of a generated server. Names are anything a player can type: quotes, groups that
// copy other players' tokens or make up new ones, and the verbs of the log.
struct Player
{
    QByteArray name;
    QByteArray oldName; // the name it connected with, when it changed it since
    int uid = 0;
    QByteArray id, team;
    // What its server said about it before its events.
    enum class Said { Nothing, Connected, Entered, ConnectedAndEntered, Renamed };
    Said said = Said::Nothing;

    QByteArray token(const QByteArray &asName, const QByteArray &team) const
    {
        return '"' + asName + '<' + QByteArray::number(uid) + "><" + id + "><" + team + ">\"";
    }
    QByteArray token() const { return token(name, team); }
};

// Names, chat and the events of game servers from a fixed seed, so a failure is found again.
class Generator
{
public:
    explicit Generator(std::uint32_t seed)
        : m_random(seed)
    {
    }

    std::uint32_t below(std::uint32_t n) { return m_random() % n; }
    bool chance(int percent) { return below(100) < std::uint32_t(percent); }
    template <typename Item> const Item &pick(const QList<Item> &from)
    {
        return from.at(qsizetype(below(std::uint32_t(from.size()))));
    }

    // Three players, Steam ids of their server's own; each one's name may imitate the tokens
    // of those made before it.
    QList<Player> roster(int server)
    {
        QList<Player> players;
        std::set<int> uids;
        for (int k = 0; k < 3; ++k) {
            Player p;
            do
                p.uid = int(below(40)) + 1;
            while (!uids.insert(p.uid).second);
            // Never a placeholder account (1234, 12345): those are keyed by name.
            const int account = server * 3 + k + 1;
            p.id = "STEAM_0:1:" + QByteArray::number(account == 1234 || account == 12345
                                                         ? account + 1000000
                                                         : account);
            p.team = chance(50) ? "CT" : "TERRORIST";
            p.said = Player::Said(below(5));
            m_players = players;
            m_players << p;
            p.name = text(k > 0 && chance(40) ? &players.at(qsizetype(below(k))) : nullptr);
            if (p.said == Player::Said::Renamed)
                p.oldName = "Old" + QByteArray::number(k);
            players << p;
        }
        return players;
    }

    // A name or a chat message: a mix of words, quotes, token groups and verbs, starting with
    // the token of an imitated player when there is one: exact, or with his uid and another
    // Steam id. Under 200 bytes, so a name is stored whole.
    QByteArray text(const Player *imitated)
    {
        static const Lines words = {"Al", "Bob", "x",         " ",        "[1 2 3]",
                                    "(",  ")",   "no<scope>", "\xC3\xA9", "-"};
        static const Lines verbs = {"killed", "attacked", "triggered", "say", "with"};
        QByteArray text;
        if (imitated && imitated->name.size() < 80) {
            const QByteArray copied =
                chance(50) ? groups(*imitated)
                           : '<' + QByteArray::number(imitated->uid) +
                                 "><STEAM_0:0:" + QByteArray::number(9000000 + below(1000)) + "><" +
                                 imitated->team + '>';
            text = imitated->name + copied + "\" " + pick(verbs) + " \"";
            if (chance(30))
                text += "x\" with \""; // the shape of a trigger or a weapon
        }
        for (std::uint32_t n = below(5); n > 0 && text.size() < 120; --n) {
            switch (below(4)) {
            case 0:
                text += pick(words);
                break;
            case 1:
                text += '"';
                break;
            case 2:
                text += group();
                break;
            default:
                text +=
                    QByteArray(chance(50) ? "\" " : " ") + pick(verbs) + (chance(50) ? " \"" : " ");
            }
        }
        return text;
    }

private:
    inline static const Lines Partial = {"<5>", "<STEAM_0:1:3><CT>", "<>", "<BOT>"};

    static QByteArray groups(const Player &p)
    {
        return '<' + QByteArray::number(p.uid) + "><" + p.id + "><" + p.team + '>';
    }

    // A copy of a player's groups, made-up groups, or only some of them.
    QByteArray group()
    {
        switch (below(3)) {
        case 0:
            return groups(pick(m_players));
        case 1:
            return '<' + QByteArray::number(below(40) + 1) +
                   "><STEAM_0:0:" + QByteArray::number(9000000 + below(1000)) + "><" +
                   (chance(50) ? "CT" : "TERRORIST") + '>';
        default:
            return pick(Partial);
        }
    }

    std::mt19937 m_random;
    QList<Player> m_players; // whose groups a name may copy: the players so far, its own too
};

} // namespace

// Who gets the credit for an event when players' names imitate the tokens of others: the
// player who made it, or, where the line cannot tell, nobody.
class TestLedgerwellAttribution : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Thousands of generated servers, each with three players whose names imitate tokens,
    // some of them announced to their server and some not, through the component's parsing,
    // scoring and group commit into SQLite. Every event goes to the player who made it, or
    // the line is counted ambiguous and goes to nobody.
    void creditNeverGoesToAnotherPlayer()
    {
        TEST_DATABASE(db, Engine::Sqlite, m_dir.path());
        std::string error;
        const std::optional<ledgerwell::ConnectionSettings> settings =
            ledgerwell::parseConnectionString(db->connectionString().toStdString(), error);
        QVERIFY2(settings, error.c_str());
        const std::string logPath = m_dir.filePath(QStringLiteral("generated.log")).toStdString();
        ledgerwell::Counters counters;
        ledgerwell::ProcessLogs logs;
        ledgerwell::ProcessLog *log = logs.get(logPath, error);
        QVERIFY2(log, error.c_str());
        auto connection =
            std::make_unique<ledgerwell::PooledConnection>(*settings, counters, logs, logPath);
        QTRY_VERIFY(connection->ready());

        // Kills and attacks have a weapon of their own, triggers a name, chat a message: the
        // key that finds what was stored for them.
        struct Event
        {
            QByteArray line, key;
            const Player *actor = nullptr, *victim = nullptr;
            bool chat = false, ambiguous = false, severalReadings = false;
        };
        constexpr int Servers = 3000;
        Generator generate(20241010);
        std::vector<QList<Player>> rosters(Servers);
        std::vector<Event> events;
        quint64 ambiguousLines = 0;
        const std::string connectionString = db->connectionString().toStdString();
        const auto send = [&](int server, const QByteArray &line) {
            const std::string ip =
                "10.7." + std::to_string(server / 250) + "." + std::to_string(server % 250);
            ledgerwell::Datagram datagram;
            datagram.connectionString = connectionString;
            datagram.senderIp = ip;
            datagram.senderPort = 27015;
            datagram.rawMode = 0;
            datagram.payload = std::string_view(line.constData(), size_t(line.size()));
            const std::uint64_t before = counters.linesAmbiguous.load();
            std::string refused;
            if (!connection->process(datagram, ledgerwell::unframe(datagram.payload), log, refused))
                QTest::qFail(refused.c_str(), __FILE__, __LINE__);
            return counters.linesAmbiguous.load() != before;
        };
        for (int server = 0; server < Servers; ++server) {
            QList<Player> &players = rosters[std::size_t(server)];
            players = generate.roster(server);
            for (const Player &p : players) {
                const QByteArray first = p.oldName.isEmpty() ? p.name : p.oldName;
                const QByteArray address = "\" connected, address \"10.0.0.1:27005\"";
                if (p.said != Player::Said::Nothing && p.said != Player::Said::Entered)
                    ambiguousLines += send(server, T + p.token(first, {}).chopped(1) + address);
                if (p.said == Player::Said::Entered || p.said == Player::Said::ConnectedAndEntered)
                    ambiguousLines += send(server, T + p.token(first, {}) + " entered the game");
                if (p.said == Player::Said::Renamed)
                    ambiguousLines += send(server, T + p.token(first, p.team) +
                                                       " changed name to \"" + p.name + '"');
            }
            for (std::uint32_t n = generate.below(3) + 1; n > 0; --n) {
                Event event;
                const std::uint32_t a = generate.below(3);
                event.actor = &players.at(a);
                const QByteArray actor = T + event.actor->token();
                const Player &other = players.at((a + 1 + generate.below(2)) % 3);
                const QByteArray number = QByteArray::number(events.size());
                const std::uint32_t kind = generate.below(10); // attack, trigger, say twice, kill
                if (kind == 1) {
                    event.key = "t" + number;
                    event.line = actor + " triggered \"" + event.key + '"';
                } else if (kind == 2 || kind == 3) {
                    event.chat = true;
                    event.key = generate.text(nullptr) + "#" + number;
                    event.line = actor + " say \"" + event.key + '"';
                } else {
                    event.victim = &other;
                    event.key = "w" + number;
                    event.line = actor + (kind == 0 ? " attacked " : " killed ") + other.token() +
                                 " with \"" + event.key + '"' +
                                 (kind == 0             ? " (damage \"12\")"
                                  : generate.chance(30) ? " (headshot)"
                                                        : "");
                }
                const ledgerwell::LineParse alone = ledgerwell::parseLine(
                    std::string_view(event.line.constData(), size_t(event.line.size())));
                event.severalReadings = alone.ambiguous;
                event.ambiguous = send(server, event.line);
                ambiguousLines += event.ambiguous;
                events.push_back(event);
            }
        }
        connection->stop(ledgerwell::PooledConnection::Clock::now() + std::chrono::seconds(30));
        QVERIFY(connection->waitStopped(ledgerwell::PooledConnection::Clock::now() +
                                        std::chrono::seconds(60)));
        logs.flushAll(true);
        QCOMPARE(counters.linesRejected.load(), std::uint64_t(0)); // every true line reads
        QCOMPARE(counters.commitFailures.load(), std::uint64_t(0));

        // What was stored, by the key of its event (a chat key has a '#', no other has).
        std::map<QString, Rows> stored;
        for (const QStringList &row : db->rows(
                 "SELECT COALESCE(w.Weapon, t.Type), k.Player, v.Player FROM Scores s JOIN Types "
                 "t ON t.Record = s.Type LEFT JOIN Weapons w ON w.Record = s.Weapon LEFT JOIN "
                 "Players k ON k.Record = s.Killer LEFT JOIN Players v ON v.Record = s.Victim"))
            stored[row.at(0)] << row.mid(1);
        std::map<QString, std::set<QString>> names; // player -> names stored
        for (const QStringList &row :
             db->rows("SELECT c.Cvar, c.Val, p.Player FROM Games_Players_Cvars g JOIN Cvars c ON "
                      "c.Record = g.Cvar JOIN Players p ON p.Record = g.Player WHERE c.Cvar IN "
                      "('say', 'name')")) {
            if (row.at(0) == QLatin1String("say"))
                stored[row.at(1)] << row.mid(2);
            else
                names[row.at(2)].insert(row.at(1));
        }

        int settledByTheServer = 0, creditedToNobody = 0;
        std::size_t scoreRows = 0, chatRows = 0;
        for (const Event &event : events) {
            const Rows found = stored[QString::fromUtf8(event.key)];
            Rows truth = {{QString::fromUtf8(event.actor->id)}};
            if (!event.chat)
                truth.first() << (event.victim ? QString::fromUtf8(event.victim->id)
                                               : QStringLiteral("NULL"));
            QVERIFY2(found == (event.ambiguous ? Rows() : truth),
                     qPrintable(QString::fromUtf8(event.line) + " -> " +
                                (event.ambiguous ? QStringLiteral("ambiguous, ")
                                                 : QStringLiteral("read, ")) +
                                QString::number(found.size()) + " rows, first " +
                                found.value(0).join(QLatin1Char('>'))));
            (event.chat ? chatRows : scoreRows) += std::size_t(found.size());
            creditedToNobody += event.ambiguous;
            settledByTheServer += !event.ambiguous && event.severalReadings;
        }
        // No row came from a wrong reading of a line: nothing beyond the true events.
        QCOMPARE(std::size_t(db->count("Scores")), scoreRows);
        QCOMPARE(std::size_t(db->count("Cvars WHERE Cvar = 'say'")), chatRows);
        // No made-up token became a player, and nobody got a name that was not theirs.
        std::map<QString, std::set<QString>> truePlayers;
        for (const QList<Player> &players : rosters) {
            for (const Player &p : players)
                truePlayers[QString::fromUtf8(p.id)] = {QString::fromUtf8(p.name),
                                                        QString::fromUtf8(p.oldName)};
        }
        for (const QStringList &row : db->rows("SELECT Player FROM Players"))
            QVERIFY2(truePlayers.count(row.first()), qPrintable(row.first()));
        for (const auto &[player, given] : names) {
            for (const QString &name : given)
                QVERIFY2(truePlayers[player].count(name), qPrintable(player + ": " + name));
        }

        // The cases reach every branch: lines read alone, lines the server's word settles and
        // lines that credit nobody, each in numbers.
        const int credited = int(events.size()) - creditedToNobody;
        qInfo("%d events: %d credited (%d of them with several readings), %d to nobody; "
              "%llu ambiguous lines",
              int(events.size()), credited, settledByTheServer, creditedToNobody,
              static_cast<unsigned long long>(ambiguousLines));
        QVERIFY(events.size() > std::size_t(Servers));
        QVERIFY(settledByTheServer > 100);
        QVERIFY(creditedToNobody > 100);
        QVERIFY(credited - settledByTheServer > 1000);
        QCOMPARE(counters.linesAmbiguous.load(), ambiguousLines);

        // The first ambiguous line is noted at once, the others in the final summary.
        const QString notes = readFile(QString::fromStdString(logPath));
        QVERIFY(notes.contains("a line was credited to nobody (ambiguous players)"));
        QVERIFY2(notes.contains(QStringLiteral("credited to nobody since the last summary: %1 "
                                               "ambiguous players")
                                    .arg(ambiguousLines - 1)),
                 qPrintable(notes.right(600)));
    }

private:
    QTemporaryDir m_dir;
};

VARNOCK_TEST_MAIN(TestLedgerwellAttribution)
#include "tst_ledgerwell_attribution.moc"
