#include "LogCalculator.h"
#include "PgTestDatabase.h"
#include "StatsFixture.h"
#include "TestMain.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

namespace {

const QString Hl1Log = QStringLiteral(REALLOGS_CORPUS "/cstrike/tomav-L0000000.log");
// Two maps of one CS:GO match, as its server sent them: the first one's bomb carriers show its
// sides, which the teams as joined have the wrong way round; the second swaps at half time.
const QStringList MatchLogs = {QStringLiteral(REALLOGS_CORPUS "/csgo/vlf1991-kotnq1flog.log"),
                               QStringLiteral(REALLOGS_CORPUS "/csgo/vlf1991-kotnq2flog.log")};
// A TF2 stopwatch match: after the first half every player joins the other colour.
const QString Tf2HlLog = QStringLiteral(REALLOGS_CORPUS "/tf2/icewind1991-log_hl.log");

// What the calculator reads from log files as one stream: "kills_per_game", and "rounds" by
// player: "played", "won" and the number of "sides" he played on.
QJsonObject roundsIn(const QStringList &logs)
{
    QString error;
    const QJsonObject figures = calculated(QStringList{"--rounds"} + logs, error);
    if (!error.isEmpty())
        qWarning("%s", qPrintable(error));
    return figures;
}

// "key -> values" of a statistics table, the numbers as text to 9 places.
QMap<QString, QString> snapshot(const QSqlDatabase &db, const QString &sql, int keys)
{
    QMap<QString, QString> rows;
    QSqlQuery query(db);
    if (!query.exec(sql))
        qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
    while (query.next()) {
        QStringList key, values;
        for (int i = 0; i < query.record().count(); ++i) {
            const QVariant value = query.value(i);
            const QString text = value.typeId() == QMetaType::Double
                                     ? QString::number(value.toDouble(), 'f', 9)
                                     : value.toString();
            (i < keys ? key : values) << text;
        }
        rows.insert(key.join('|'), values.join('|'));
    }
    return rows;
}

QString differences(const QMap<QString, QString> &a, const QMap<QString, QString> &b)
{
    QStringList lines;
    for (auto it = a.cbegin(); it != a.cend() && lines.size() < 5; ++it) {
        if (b.value(it.key()) != it.value())
            lines << it.key() + ": " + it.value() + " / " + b.value(it.key());
    }
    if (a.size() != b.size())
        lines << QStringLiteral("%1 rows / %2 rows").arg(a.size()).arg(b.size());
    return lines.join('\n');
}

const QString StandingsSql =
    QStringLiteral("SELECT Scope, Player, Kills, Deaths, Rounds, Mu, Sigma FROM Stats_Standings");
const QString HistorySql =
    QStringLiteral("SELECT Scope, Player, Game, Mu, Sigma, Date_Time FROM Stats_History");

struct Engine
{
    QString connString;
    QSqlDatabase db;
    std::unique_ptr<StatsProcess> stats;
    QMap<QString, QString> liveStandings, liveHistory;
};

} // namespace

// A CS 1.6 server's five games and two maps of a CS:GO match, sent at once by two
// servers through the program and Ledgerwell into SQLite and PostgreSQL while varnock_stats
// reads along (stopped for a while in the middle); then the standings are computed again
// from scratch over the same rows.
class TestStatsTruth : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Receiver receiver(m_dir.filePath("receiver"), QStringLiteral(LEDGERWELL_PATH));
        const QString file = m_dir.filePath("truth.db");
        QFile empty(file);
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        m_engines["sqlite"].connString = "Provider=SQLite;Data Source=" + file;
        if (m_pg.configured()) {
            QVERIFY2(m_pg.ready(), qPrintable(m_pg.error()));
            m_engines["postgres"].connString = m_pg.connString();
        }
        QStringList connections;
        for (const auto &[name, engine] : m_engines)
            connections << engine.connString;
        QVERIFY2(receiver.start(connections), qPrintable(receiver.errors()));
        QSqlDatabase sqlite = QSqlDatabase::addDatabase("QSQLITE", "truth-sqlite");
        sqlite.setDatabaseName(file);
        QVERIFY(sqlite.open());
        m_engines["sqlite"].db = sqlite;
        if (m_pg.ready())
            m_engines["postgres"].db = m_pg.direct();

        const QList<QList<QByteArray>> logs = {
            logLines(Hl1Log), logLines(MatchLogs[0]) + logLines(MatchLogs[1]), logLines(Tf2HlLog)};
        QVERIFY(logs.at(0).size() > 2000 && logs.at(1).size() > 9000 && logs.at(2).size() > 5000);
        QUdpSocket servers[3];
        for (QUdpSocket &server : servers)
            QVERIFY(server.bind(QHostAddress::LocalHost, 0));
        // Ten parts with pauses longer than the standings writer's, so it reads along.
        const int parts = 10;
        qint64 sent = 0;
        for (int part = 0; part < parts; ++part) {
            for (int log = 0; log < 3; ++log) {
                const QList<QByteArray> &lines = logs.at(log);
                const qsizetype from = lines.size() * part / parts;
                const qsizetype to = lines.size() * (part + 1) / parts;
                for (qsizetype i = from; i < to; ++i) {
                    for (const quint16 port : receiver.ports())
                        servers[log].writeDatagram(QByteArray("\xFF\xFF\xFF\xFFR") + lines.at(i) +
                                                       "\n" + '\0',
                                                   QHostAddress::LocalHost, port);
                    if (++sent % 20 == 0)
                        QThread::msleep(10);
                }
            }
            if (part == 0) {
                // The tables exist now: the pages start, and read along from here.
                for (auto &[name, engine] : m_engines) {
                    QTRY_VERIFY_WITH_TIMEOUT(logRows(engine.db) == sent, 30000);
                    engine.stats = std::make_unique<StatsProcess>(QStringList{engine.connString});
                }
            }
            // A pause in the middle of the games: it goes on from where it stopped.
            if (part == 4) {
                for (auto &[name, engine] : m_engines)
                    engine.stats.reset();
            } else if (part == 6) {
                for (auto &[name, engine] : m_engines)
                    engine.stats = std::make_unique<StatsProcess>(QStringList{engine.connString});
            } else if (part == 7) {
                // A ranking asked for now must not be what the pages show at the end.
                for (auto &[name, engine] : m_engines)
                    engine.stats->get("/api/rankings?sort=kills&size=100");
            }
            QTest::qWait(2500);
        }
        for (auto &[name, engine] : m_engines)
            QTRY_COMPARE_WITH_TIMEOUT(logRows(engine.db), sent, 60000);
        QVERIFY(receiver.stop());

        for (auto &[name, engine] : m_engines) {
            QVERIFY2(engine.stats->waitCaughtUp(), qPrintable(engine.stats->errors()));
            qint64 shown = 0;
            for (const QJsonValue row :
                 engine.stats->get("/api/rankings?sort=kills&size=100").json().toArray())
                shown += row["kills"].toInteger();
            QCOMPARE(shown, storedNumber(engine.db, "SELECT SUM(Kills) FROM (SELECT Kills FROM "
                                                    "Stats_Standings WHERE Scope = '' AND Kills + "
                                                    "Deaths > 0 ORDER BY Kills DESC LIMIT 100) t"));
            engine.liveStandings = snapshot(engine.db, StandingsSql, 2);
            engine.liveHistory = snapshot(engine.db, HistorySql, 3);
            // From scratch, as the README says to ask for it.
            engine.stats.reset();
            QSqlQuery wipe(engine.db);
            for (const char *table :
                 {"Stats_Standings", "Stats_History", "Stats_Weapons", "Stats_Cursor"})
                QVERIFY(wipe.exec(QStringLiteral("DROP TABLE %1").arg(table)));
            engine.stats = std::make_unique<StatsProcess>(QStringList{engine.connString});
            QVERIFY2(engine.stats->waitCaughtUp(), qPrintable(engine.stats->errors()));
        }
    }

    void liveEqualsCatchUp_data() { engineRows(); }
    void liveEqualsCatchUp()
    {
        CURRENT_ENGINE(engine, m_engines);
        const QMap<QString, QString> again = snapshot(engine.db, StandingsSql, 2);
        QVERIFY(again.size() > 50);
        QVERIFY2(engine.liveStandings == again,
                 qPrintable(differences(engine.liveStandings, again)));
        // Computed from scratch, it built the pages' sort indexes once at its end.
        const QString names = "lower(%1) IN ('stats_standings_rating', 'stats_weapons_damage')";
        const QString indexes =
            engine.db.driverName() == QLatin1String("QSQLITE")
                ? "SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND " + names.arg("name")
                : "SELECT COUNT(*) FROM pg_indexes WHERE " + names.arg("indexname");
        QCOMPARE(storedNumber(engine.db, indexes), 2);
    }

    // Each point is the rating after that game, so read live or long after, the same.
    void historyPointsEqualARecompute_data() { engineRows(); }
    void historyPointsEqualARecompute()
    {
        CURRENT_ENGINE(engine, m_engines);
        const QMap<QString, QString> again = snapshot(engine.db, HistorySql, 3);
        QVERIFY2(engine.liveHistory == again, qPrintable(differences(engine.liveHistory, again)));
        // The bots play the CS 1.6 games one after another: their charts are no flat line.
        QVERIFY(storedNumber(engine.db, "SELECT MIN(n) FROM (SELECT COUNT(DISTINCT Mu) AS n FROM "
                                        "Stats_History WHERE Scope = 'mod:cstrike' GROUP BY Player "
                                        "HAVING COUNT(*) >= 3) h") >= 3);
    }

    // CS 1.6 writes no positions or flags: its kills are placed by the rows every kill has.
    void hl1KillsAreInTheirGamesAndServer_data() { engineRows(); }
    void hl1KillsAreInTheirGamesAndServer()
    {
        CURRENT_ENGINE(engine, m_engines);
        const QJsonObject log = roundsIn({Hl1Log});
        QList<qint64> expected;
        for (const QJsonValue kills : log["kills_per_game"].toArray())
            expected << kills.toInteger();
        QCOMPARE(expected.size(), 5);
        QList<qint64> shown;
        const QJsonArray games = engine.stats->get("/api/games").json().toArray();
        for (qsizetype i = games.size() - 1; i >= 0; --i) { // newest first
            const QJsonValue game = games.at(i);
            if (game["mod"].toString() != "cstrike")
                continue;
            const QJsonObject page =
                engine.stats->get("/api/game?id=" + QString::number(game["game"].toInteger()))
                    .json()
                    .toObject();
            qint64 kills = 0;
            for (const QJsonValue &line : page["scoreboard"].toArray())
                kills += line["kills"].toInteger();
            shown << kills;
            QVERIFY(!game["server_name"].toString().isEmpty());
        }
        QCOMPARE(shown, expected);

        // Its rounds count too, for the players in them.
        const QJsonObject rounds = log["rounds"].toObject();
        QVERIFY(rounds.size() >= 9);
        const QJsonArray players =
            engine.stats->get("/api/rankings?size=100&scope=mod:cstrike").json().toArray();
        for (const QJsonValue &player : players) {
            const QString who = player["player"].toString();
            QCOMPARE(player["rounds"].toInteger(), rounds[who]["played"].toInteger());
            QCOMPARE(player["rounds_won"].toInteger(), rounds[who]["won"].toInteger());
        }

        const qint64 total = std::accumulate(expected.cbegin(), expected.cend(), qint64(0));
        const QString server = QString::number(storedNumber(
            engine.db, "SELECT MIN(sg.Server) FROM Servers_Games sg JOIN Games g ON g.Record = "
                       "sg.Game WHERE g.Patch_Name = 'cstrike'"));
        for (const QString &scope : QStringList{"mod:cstrike", "server:" + server}) {
            qint64 kills = 0;
            const QJsonArray ranked =
                engine.stats->get("/api/rankings?size=100&sort=kills&scope=" + scope)
                    .json()
                    .toArray();
            for (const QJsonValue &player : ranked)
                kills += player["kills"].toInteger();
            QCOMPARE(kills, total);
        }
    }

    // The CS:GO match's second map swaps sides after 15 rounds (its score goes from 11:4 to
    // 5:11); on its first, the sides as the teams were joined are the wrong way round. The
    // TF2 match's teams trade colours after its first half, which only their joins say.
    void sidesCountedRight_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("scope");
        QTest::addColumn<bool>("tf2");
        for (const char *engine : {"sqlite", "postgres"}) {
            QTest::addRow("%s csgo", engine) << engine << "mod:csgo" << false;
            QTest::addRow("%s tf2", engine) << engine << "" << true;
        }
    }
    void sidesCountedRight()
    {
        CURRENT_ENGINE(engine, m_engines);
        QFETCH(QString, scope);
        QFETCH(bool, tf2);
        const QJsonObject expected =
            roundsIn(tf2 ? QStringList{Tf2HlLog} : MatchLogs)["rounds"].toObject();
        QSqlQuery query(engine.db);
        query.prepare("SELECT Steam, Rounds, Won FROM Stats_Standings WHERE Scope = ?");
        query.addBindValue(scope);
        QVERIFY(query.exec());
        QHash<QString, QString> counted; // "won of played"
        while (query.next())
            counted.insert(query.value(0).toString(),
                           query.value(2).toString() + " of " + query.value(1).toString());
        int switched = 0;
        for (auto it = expected.constBegin(); it != expected.constEnd(); ++it) {
            if (!it.key().startsWith(QLatin1String(tf2 ? "[U:" : "STEAM_")))
                continue;
            const QJsonObject log = it->toObject();
            const QString won = QStringLiteral("%1 of %2")
                                    .arg(log["won"].toInteger())
                                    .arg(log["played"].toInteger());
            QVERIFY2(counted.value(it.key()) == won,
                     qPrintable(it.key() + " won " + won + ", shown " + counted.value(it.key())));
            switched += log["sides"].toInteger() > 1 ? 1 : 0; // on both sides of the swap
        }
        QVERIFY(switched >= 6);
    }

    // What a game does not log is shown as unknown, not as 0; ratios are rounded once; a
    // ratio ranks only players with 20 kills and deaths (or kills with headshot known).
    void figuresAreShownAsKnown_data() { engineRows(); }
    void figuresAreShownAsKnown()
    {
        CURRENT_ENGINE(engine, m_engines);
        for (const char *mod : {"cstrike", "csgo"}) {
            const QJsonArray rows =
                engine.stats->get(QStringLiteral("/api/rankings?size=100&scope=mod:") + mod)
                    .json()
                    .toArray();
            QVERIFY(rows.size() > 5);
            for (const QJsonValue &row : rows) {
                // CS 1.6 writes neither headshots nor damage; CS:GO writes both with a kill.
                const bool known = QByteArray(mod) == "csgo" && row["kills"].toInteger() > 0;
                QCOMPARE(row["headshot_pct"].isNull(), !known);
                if (known || QByteArray(mod) == "cstrike")
                    QCOMPARE(row["damage"].isNull(), !known);
                const double kd = double(row["kills"].toInteger()) /
                                  double(std::max<qint64>(1, row["deaths"].toInteger()));
                QCOMPARE(row["kd"].toDouble(), kd);
            }
        }
        for (const QString &sort : {QStringLiteral("kd"), QStringLiteral("hs")}) {
            const QJsonArray rows =
                engine.stats->get("/api/rankings?size=100&sort=" + sort).json().toArray();
            QVERIFY(!rows.isEmpty());
            for (const QJsonValue &row : rows)
                QVERIFY(row["kills"].toInteger() + row["deaths"].toInteger() >= 20);
        }
        const QJsonArray scopes = engine.stats->get("/api/scopes").json().toArray();
        QCOMPARE(scopes.first()["scope"].toString(), QStringLiteral("server:1"));
        QCOMPARE(scopes.last()["scope"].toString(), QStringLiteral("mod:cstrike"));
    }

private:
    QTemporaryDir m_dir;
    PgTestDatabase m_pg;
    std::map<QString, Engine> m_engines;
};

VARNOCK_TEST_MAIN(TestStatsTruth)
#include "tst_stats_truth.moc"
