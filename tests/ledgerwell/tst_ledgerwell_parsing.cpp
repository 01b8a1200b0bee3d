#include "TestMain.h"

#include "ConnectionSettings.h"
#include "Framing.h"
#include "Ledger.h"
#include "LogLine.h"
#include "TextRules.h"

#include <QTest>

#include <map>

using namespace ledgerwell;

namespace {

const char *kindName(EventKind kind)
{
    static const std::map<EventKind, const char *> names = {
        {EventKind::Other, "other"},
        {EventKind::LogStarted, "log started"},
        {EventKind::LogClosed, "log closed"},
        {EventKind::CvarsStart, "cvars start"},
        {EventKind::CvarsEnd, "cvars end"},
        {EventKind::Cvar, "cvar"},
        {EventKind::LoadingMap, "loading map"},
        {EventKind::StartedMap, "started map"},
        {EventKind::ServerName, "server name"},
        {EventKind::Connected, "connected"},
        {EventKind::Entered, "entered"},
        {EventKind::JoinedTeam, "joined team"},
        {EventKind::ChangedRole, "changed role"},
        {EventKind::ChangedName, "changed name"},
        {EventKind::Disconnected, "disconnected"},
        {EventKind::Killed, "killed"},
        {EventKind::Suicide, "suicide"},
        {EventKind::Triggered, "triggered"},
        {EventKind::Attacked, "attacked"},
        {EventKind::Say, "say"},
        {EventKind::SayTeam, "say_team"},
        {EventKind::TeamTriggered, "team triggered"},
        {EventKind::TeamScore, "team score"},
        {EventKind::WorldTriggered, "world triggered"},
    };
    return names.at(kind);
}

QString text(std::string_view view)
{
    return QString::fromUtf8(view.data(), qsizetype(view.size()));
}

// Players a server has seen: "uid|id|name" each.
class KnownPlayers : public PlayerDirectory
{
public:
    explicit KnownPlayers(const QStringList &players)
    {
        for (const QString &player : players) {
            const QStringList parts = player.split(QLatin1Char('|'));
            m_names[parts.at(0) + QLatin1Char('<') + parts.at(1)] = parts.at(2);
        }
    }
    int recognise(const PlayerToken &token) const override
    {
        const auto found = m_names.find(text(token.uid) + QLatin1Char('<') + text(token.id));
        if (found == m_names.end())
            return 0;
        return found->second == text(token.name) ? 2 : 1;
    }

private:
    std::map<QString, QString> m_names;
};

const QByteArray T = "L 03/14/2026 - 20:00:40: ";

} // namespace

// The text rules of the component: framing, the log line grammar, player tokens, the
// connection strings it is given, and what is stored of a text.
class TestLedgerwellParsing : public QObject
{
    Q_OBJECT

private slots:
    void unframe_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("framing");
        QTest::addColumn<QByteArray>("lines"); // joined with '|'
        const QByteArray h = "\xFF\xFF\xFF\xFF";
        QTest::newRow("HL1") << h + "log L x\n" + QByteArray(1, '\0') << true << int(Framing::Hl1)
                             << QByteArray("L x");
        QTest::newRow("Source") << h + "RL x\n" + QByteArray(1, '\0') << true
                                << int(Framing::Source) << QByteArray("L x");
        QTest::newRow("secret") << h + "S12345L x\n"
                                << true << int(Framing::Secret) << QByteArray("L x");
        QTest::newRow("secret, HL1 form") << h + "S77log L x\n"
                                          << true << int(Framing::Secret) << QByteArray("L x");
        QTest::newRow("HL1 without line end")
            << h + "log L x" << true << int(Framing::Hl1) << QByteArray("L x");
        QTest::newRow("line break inside a framed line")
            << h + "log L a\nL b\n"
            << true << int(Framing::Hl1) << QByteArray("L a\nL b");
        QTest::newRow("plain lines, CR LF and blank lines")
            << QByteArray("L a\r\n\r\nL b\nL c") << true << int(Framing::Plain)
            << QByteArray("L a|L b|L c");
        QTest::newRow("empty") << QByteArray() << false << 0 << QByteArray();
        QTest::newRow("header alone") << h << false << 0 << QByteArray();
        QTest::newRow("HL1 header, no line")
            << h + "log \n" + QByteArray(1, '\0') << false << 0 << QByteArray();
        QTest::newRow("secret without digits") << h + "SL x" << false << 0 << QByteArray();
        QTest::newRow("unknown header") << h + "Qx" << false << 0 << QByteArray();
        QTest::newRow("only line ends") << QByteArray("\n\n\r\n") << false << 0 << QByteArray();
    }
    void unframe()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, ok);
        QFETCH(int, framing);
        QFETCH(QByteArray, lines);
        const FramedDatagram framed =
            ledgerwell::unframe(std::string_view(datagram.constData(), size_t(datagram.size())));
        QCOMPARE(framed.ok, ok);
        QCOMPARE(framed.reason.empty(), ok);
        if (!ok)
            return;
        QCOMPARE(int(framed.framing), framing);
        QByteArrayList found;
        for (const std::string_view line : framed.lines)
            found << QByteArray(line.data(), qsizetype(line.size()));
        QCOMPARE(found.join('|'), lines);
    }

    void parseLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("kind");  // empty: malformed
        QTest::addColumn<QString>("actor"); // name/id/team
        QTest::addColumn<QString>("other");
        QTest::addColumn<QString>("textValue");  // text|value
        QTest::addColumn<QString>("properties"); // key=value,...

        const auto row = [](const char *name, const QByteArray &line, const char *kind,
                            const char *actor = "", const char *other = "",
                            const char *textValue = "|", const char *properties = "") {
            QTest::newRow(name) << line << kind << actor << other << textValue << properties;
        };
        row("log started, HL1 version",
            T + "Log file started (file \"logs/L0314000.log\") (game \"cstrike\") (version "
                "\"48/1.1.2.5/2108\")",
            "log started", "", "", "|",
            "file=logs/L0314000.log,game=cstrike,version=48/1.1.2.5/2108");
        row("log started, Source build",
            T + "log file STARTED (file \"a\") (game \"/srv/tf\") (version \"7010\")",
            "log started", "", "", "|", "file=a,game=/srv/tf,version=7010");
        row("log closed", T + "Log file closed", "log closed");
        row("cvars start", T + "Server cvars start", "cvars start");
        row("cvars end", T + "Server cvars end", "cvars end");
        row("cvar", T + "Server cvar \"mp_timelimit\" = \"20\"", "cvar", "", "", "mp_timelimit|20");
        row("cvar with an empty value", T + "Server cvar \"sv_password\" = \"\"", "cvar", "", "",
            "sv_password|");
        row("Source cvar", T + "server_cvar: \"sv_cheats\" \"0\"", "cvar", "", "", "sv_cheats|0");
        row("loading map", T + "Loading map \"de_dust2\"", "loading map", "", "", "de_dust2|");
        row("started map with CRC", T + "Started map \"de_dust2\" (CRC \"-12\")", "started map", "",
            "", "de_dust2|", "CRC=-12");
        row("server name with quotes", T + "Server name is \"The \"Best\" Server\"", "server name",
            "", "", "The \"Best\" Server|");
        row("connected", T + "\"Al<2><STEAM_0:1:234><>\" connected, address \"1.2.3.4:27005\"",
            "connected", "Al/STEAM_0:1:234/", "", "1.2.3.4:27005|");
        row("entered", T + "\"Al<2><[U:1:68745073]><>\" entered the game", "entered",
            "Al/[U:1:68745073]/");
        row("joined team", T + "\"Al<2><STEAM_ID_LAN><>\" joined team \"CT\"", "joined team",
            "Al/STEAM_ID_LAN/", "", "CT|");
        row("switched team", T + "\"Al<2><BOT><CT>\" switched from team <CT> to <TERRORIST>",
            "joined team", "Al/BOT/CT", "", "TERRORIST|");
        row("changed role", T + "\"Al<2><X><Red>\" changed role to \"sniper\"", "changed role",
            "Al/X/Red", "", "sniper|");
        row("changed name", T + "\"Al<2><X><Red>\" changed name to \"Al \"the\" Great\"",
            "changed name", "Al/X/Red", "", "Al \"the\" Great|");
        row("disconnected", T + "\"Al<2><X><Red>\" disconnected", "disconnected", "Al/X/Red");
        row("disconnected with a reason",
            T + "\"Al<2><X><Red>\" disconnected (reason \"Kicked (by \"admin\")\")", "disconnected",
            "Al/X/Red", "", "|", "reason=Kicked (by \"admin\")");
        row("killed, verb in capitals",
            T + "\"Al<2><X><CT>\" KILLED \"Bo<3><Y><TERRORIST>\" With \"ak47\"", "killed",
            "Al/X/CT", "Bo/Y/TERRORIST", "ak47|");
        row("killed with properties",
            T + "\"Al<2><X><Red>\" killed \"Bo<3><Y><Blue>\" with \"scattergun\" (headshot) "
                "(attacker_position \"-1 2 3\")",
            "killed", "Al/X/Red", "Bo/Y/Blue", "scattergun|", "headshot,attacker_position=-1 2 3");
        row("suicide", T + "\"Al<2><X><CT>\" committed suicide with \"world\"", "suicide",
            "Al/X/CT", "", "world|");
        row("triggered", T + "\"Al<2><X><CT>\" triggered \"Planted_The_Bomb\"", "triggered",
            "Al/X/CT", "", "Planted_The_Bomb|");
        row("triggered against, with points",
            T + "\"Al<2><X><Red>\" triggered \"kill assist\" against \"Bo<3><Y><Blue>\" "
                "(points \"2\")",
            "triggered", "Al/X/Red", "Bo/Y/Blue", "kill assist|", "points=2");
        row("attacked",
            T + "\"Al<2><X><Red>\" attacked \"Bo<3><Y><Blue>\" with \"smg\" (damage \"12\")",
            "attacked", "Al/X/Red", "Bo/Y/Blue", "smg|", "damage=12");
        row("say with quotes", T + "\"Al<2><X><CT>\" say \"he said \"gg\"\"", "say", "Al/X/CT", "",
            "he said \"gg\"|");
        row("say_team", T + "\"Al<2><X><CT>\" say_team \"rush b\"", "say_team", "Al/X/CT", "",
            "rush b|");
        row("team triggered", T + "Team \"CT\" triggered \"CTs_Win\" (CT \"3\") (T \"1\")",
            "team triggered", "", "", "CT|CTs_Win", "CT=3,T=1");
        row("team scored", T + "Team \"CT\" scored \"7\" with \"5\" players", "team score", "", "",
            "CT|7");
        row("team current score", T + "Team \"Red\" current score \"2\" with \"12\" players",
            "team score", "", "", "Red|2");
        row("world triggered", T + "World triggered \"Round_Start\"", "world triggered", "", "",
            "Round_Start|");
        row("empty name and team", T + "\"<2><BOT><>\" entered the game", "entered", "/BOT/");
        row("unknown player event", T + "\"Al<2><X><CT>\" purchased \"ak47\"", "other", "Al/X/CT");
        row("unknown server event", T + "Rcon: \"rcon 1 \"x\" status\" from \"1.2.3.4:1\"",
            "other");

        row("no time", "Log file closed", "");
        row("time without the blank", "L 03/14/2026 - 20:00:40:Log file closed", "");
        row("month 13", "L 13/14/2026 - 20:00:40: Log file closed", "");
        row("29 February of a common year", "L 02/29/2026 - 20:00:40: Log file closed", "");
        row("29 February of a leap year", "L 02/29/2028 - 20:00:40: Log file closed", "log closed");
        row("hour 24", "L 03/14/2026 - 24:00:40: Log file closed", "");
        row("nothing after the time", T, "");
        row("kill without a weapon", T + "\"Al<2><X><CT>\" killed \"Bo<3><Y><T>\"", "");
        row("kill with quotes in the weapon",
            T + "\"Al<2><X><CT>\" killed \"Bo<3><Y><T>\" with \"a\"k\"", "");
        row("victim without a group", T + "\"Al<2><X><CT>\" killed \"Bo\" with \"ak47\"", "");
        row("uid that is not a number", T + "\"Al<two><X><CT>\" entered the game", "");
        row("unbalanced quotes", T + "\"Al<2><X><CT> killed \"Bo<3><Y><T>\" with \"m4a1\"", "");
        row("malformed cvar", T + "Server cvar \"x\" \"y\"", "");
        row("malformed team event", T + "Team CT triggered \"x\"", "");
        row("line too long", T + "\"" + QByteArray(5000, 'n') + "<2><X><CT>\" entered the game",
            "");
    }
    void parseLine()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, kind);
        QFETCH(QString, actor);
        QFETCH(QString, other);
        QFETCH(QString, textValue);
        QFETCH(QString, properties);
        const LineParse parsed =
            ledgerwell::parseLine(std::string_view(line.constData(), size_t(line.size())));
        QCOMPARE(parsed.ok, !kind.isEmpty());
        if (!parsed.ok) {
            QVERIFY(!parsed.reason.empty());
            return;
        }
        const Event &event = parsed.line.event;
        QCOMPARE(QString::fromLatin1(kindName(event.kind)), kind);
        const auto token = [](const PlayerToken &t) {
            return text(t.name) + QLatin1Char('/') + text(t.id) + QLatin1Char('/') + text(t.team);
        };
        if (!actor.isEmpty())
            QCOMPARE(token(event.actor), actor);
        QCOMPARE(event.hasOther, !other.isEmpty());
        if (!other.isEmpty())
            QCOMPARE(token(event.other), other);
        if (kind != QLatin1String("other"))
            QCOMPARE(text(event.text) + QLatin1Char('|') + text(event.value), textValue);
        QStringList found;
        for (const Property &property : event.properties)
            found << (property.hasValue
                          ? text(property.key) + QLatin1Char('=') + text(property.value)
                          : text(property.key));
        QCOMPARE(found.join(QLatin1Char(',')), properties);
    }

    void lineTime()
    {
        const QByteArray line = "L 12/31/2024 - 23:59:58: Log file closed";
        const LineParse parsed = ledgerwell::parseLine(line.toStdString());
        QVERIFY(parsed.ok);
        QCOMPARE(QString::fromStdString(parsed.line.time.iso()),
                 QStringLiteral("2024-12-31 23:59:58"));
        const LineParse next = ledgerwell::parseLine("L 01/01/2025 - 00:00:03: Log file closed");
        QCOMPARE(next.line.time.epochSeconds() - parsed.line.time.epochSeconds(), std::int64_t(5));
        QCOMPARE(parsed.line.time.epochSeconds(),
                 QDateTime(QDate(2024, 12, 31), QTime(23, 59, 58), Qt::UTC).toSecsSinceEpoch());
    }

    // A name that imitates a token must not move an event to another player. Where the line
    // alone cannot tell, the players the server has announced decide.
    void spoofedTokens_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QStringList>("known"); // uid|id|name
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("actorId");
        QTest::addColumn<QString>("otherId");
        const QByteArray m = "<2><STEAM_1:0:1><CT>\" killed \""; // Mallory's name
        QTest::newRow("imitation in the killer's name, unknown players")
            << T + "\"" + m +
                   "<9><STEAM_0:0:666><CT>\" killed \"V<7><STEAM_0:0:111><T>\" with \"knife\""
            << QStringList() << "killed"
            << "STEAM_0:0:666"
            << "STEAM_0:0:111";
        QTest::newRow("imitation in the killer's name, known players")
            << T + "\"" + m +
                   "<9><STEAM_0:0:666><CT>\" killed \"V<7><STEAM_0:0:111><T>\" with \"knife\""
            << QStringList{"9|STEAM_0:0:666|" + QString::fromLatin1(m), "7|STEAM_0:0:111|V"}
            << "killed"
            << "STEAM_0:0:666"
            << "STEAM_0:0:111";
        // Alone, the line reads either way; the rule takes the first token to its last group.
        QTest::newRow("imitation in the victim's name, unknown players")
            << T + "\"K<5><STEAM_0:0:5><T>\" killed \"" + m +
                   "<9><STEAM_0:0:666><CT>\" with \"ak47\""
            << QStringList() << "killed"
            << "STEAM_1:0:1"
            << "STEAM_0:0:666";
        QTest::newRow("imitation in the victim's name, known players")
            << T + "\"K<5><STEAM_0:0:5><T>\" killed \"" + m +
                   "<9><STEAM_0:0:666><CT>\" with \"ak47\""
            << QStringList{"5|STEAM_0:0:5|K", "9|STEAM_0:0:666|" + QString::fromLatin1(m)}
            << "killed"
            << "STEAM_0:0:5"
            << "STEAM_0:0:666";
        QTest::newRow("victim imitates a killer, known players")
            << T + "\"Q<5><STEAM_0:0:5><T>\" killed \"x<9><STEAM_0:0:9><T>\" killed "
                   "\"y<7><STEAM_0:0:7><CT>\" with \"awp\""
            << QStringList{"5|STEAM_0:0:5|Q", "7|STEAM_0:0:7|x<9><STEAM_0:0:9><T>\" killed \"y"}
            << "killed"
            << "STEAM_0:0:5"
            << "STEAM_0:0:7";
        QTest::newRow("killer named like a kill, known players")
            << T + "\"Q<5><STEAM_0:0:5><T>\" killed \"x<9><STEAM_0:0:9><T>\" killed "
                   "\"y<7><STEAM_0:0:7><CT>\" with \"awp\""
            << QStringList{"9|STEAM_0:0:9|Q<5><STEAM_0:0:5><T>\" killed \"x", "7|STEAM_0:0:7|y"}
            << "killed"
            << "STEAM_0:0:9"
            << "STEAM_0:0:7";
        QTest::newRow("imitation on a connect")
            << T + "\"" + m + "<9><STEAM_0:0:666><>\" connected, address \"1.2.3.4:5\""
            << QStringList() << "connected"
            << "STEAM_0:0:666"
            << "";
        QTest::newRow("imitation on a trigger")
            << T + "\"" + m + "<9><STEAM_0:0:666><CT>\" triggered \"Defused_The_Bomb\""
            << QStringList() << "triggered"
            << "STEAM_0:0:666"
            << "";
        QTest::newRow("weapon imitation in a victim name")
            << T + "\"K<1><STEAM_0:0:1><T>\" killed \"z<4><STEAM_0:0:4><CT>\" with \"knife<7>"
                   "<STEAM_0:0:7><CT>\" with \"awp\""
            << QStringList() << "killed"
            << "STEAM_0:0:1"
            << "STEAM_0:0:7";
    }
    void spoofedTokens()
    {
        QFETCH(QByteArray, line);
        QFETCH(QStringList, known);
        QFETCH(QString, kind);
        QFETCH(QString, actorId);
        QFETCH(QString, otherId);
        const KnownPlayers directory(known);
        const LineParse parsed = ledgerwell::parseLine(
            std::string_view(line.constData(), size_t(line.size())), &directory);
        QVERIFY2(parsed.ok, parsed.reason.c_str());
        QCOMPARE(QString::fromLatin1(kindName(parsed.line.event.kind)), kind);
        QCOMPARE(text(parsed.line.event.actor.id), actorId);
        QCOMPARE(text(parsed.line.event.other.id), otherId);
    }

    void playerRowKeys_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("key");
        QTest::newRow("Steam id") << "Al"
                                  << "STEAM_0:1:234"
                                  << "STEAM_0:1:234";
        QTest::newRow("Steam3 id") << "Al"
                                   << "[U:1:68745073]"
                                   << "[U:1:68745073]";
        QTest::newRow("bot") << "Dave"
                             << "BOT"
                             << "BOT:Dave";
        QTest::newRow("LAN") << "Hank"
                             << "STEAM_ID_LAN"
                             << "STEAM_ID_LAN:Hank";
        QTest::newRow("pending") << "Al"
                                 << "STEAM_ID_PENDING"
                                 << "STEAM_ID_PENDING:Al";
        QTest::newRow("no id") << "Al"
                               << ""
                               << ":Al";
        QTest::newRow("name that is a Steam id") << "STEAM_0:1:234"
                                                 << "BOT"
                                                 << "BOT:STEAM_0:1:234";
        QTest::newRow("long name cut to 50 characters") << QString(60, QChar(0x00E9)) << "BOT"
                                                        << "BOT:" + QString(46, QChar(0x00E9));
    }
    void playerRowKeys()
    {
        QFETCH(QString, name);
        QFETCH(QString, id);
        QFETCH(QString, key);
        const std::string nameText = name.toStdString();
        const std::string idText = id.toStdString();
        PlayerToken token;
        token.name = nameText;
        token.id = idText;
        QCOMPARE(QString::fromStdString(playerRowKey(token)), key);
    }

    void storedText_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("maxChars");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("repaired");
        QTest::newRow("plain") << QByteArray("Alice") << 50 << QByteArray("Alice") << false;
        QTest::newRow("control characters and DEL") << QByteArray("A\tl\x01i\x7F"
                                                                  "ce")
                                                    << 50 << QByteArray("Alice") << false;
        QTest::newRow("C1 control") << QByteArray("A\xC2\x85Z") << 50 << QByteArray("AZ") << false;
        QTest::newRow("cut by characters, not bytes") << QByteArray("\xC3\xA9\xC3\xA9\xC3\xA9") << 2
                                                      << QByteArray("\xC3\xA9\xC3\xA9") << false;
        QTest::newRow("invalid byte")
            << QByteArray("Al\xFFice") << 50 << QByteArray("Al\xEF\xBF\xBDice") << true;
        QTest::newRow("truncated sequence at the end")
            << QByteArray("Al\xE2\x82") << 50 << QByteArray("Al\xEF\xBF\xBD\xEF\xBF\xBD") << true;
        QTest::newRow("overlong encoding")
            << QByteArray("\xC0\xAF") << 50 << QByteArray("\xEF\xBF\xBD\xEF\xBF\xBD") << true;
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << 50
                                   << QByteArray("\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD") << true;
        QTest::newRow("four-byte character kept")
            << QByteArray("\xF0\x9F\x98\x80") << 50 << QByteArray("\xF0\x9F\x98\x80") << false;
    }
    void storedText()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, maxChars);
        QFETCH(QByteArray, stored);
        QFETCH(bool, repaired);
        std::string text = input.toStdString();
        QCOMPARE(isValidUtf8(text), !repaired);
        QCOMPARE(repairUtf8(text), repaired);
        QVERIFY(isValidUtf8(text));
        QCOMPARE(QByteArray::fromStdString(ledgerwell::storedText(text, size_t(maxChars))), stored);
    }

    void connectionStrings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // engine|file|host|port|database|user|password
        QTest::addColumn<QString>("error");
        QTest::newRow("Jet 3.51 file") << "Provider=Microsoft.Jet.OLEDB.3.51;Persist Security "
                                          "Info=False;Data Source=/d/test.mdb"
                                       << "sqlite|/d/test.mdb|||||"
                                       << "";
        QTest::newRow("Jet 4.0, keys in any case and blanks")
            << " provider = microsoft.jet.oledb.4.0 ; DATA SOURCE = /d/x.db "
            << "sqlite|/d/x.db|||||"
            << "";
        QTest::newRow("SQLite, quoted path with a semicolon")
            << "Provider=SQLite;Data Source=\"/d/a;b.db\""
            << "sqlite|/d/a;b.db|||||"
            << "";
        QTest::newRow("PostgreSQL with port and User Password")
            << "Provider=PostgreSQL;Data Source=db.local:5433;Initial Catalog=stats;User "
               "ID=varnock;User Password='it''s'"
            << "postgres||db.local|5433|stats|varnock|it's"
            << "";
        QTest::newRow("PostgreSQL, default port, Password")
            << "Provider=PostgreSQL;Data Source=127.0.0.1;Initial Catalog=s;Password=p"
            << "postgres||127.0.0.1|5432|s||p"
            << "";
        QTest::newRow("PostgreSQL on IPv6")
            << "Provider=PostgreSQL;Data Source=[::1]:6000;Initial Catalog=s"
            << "postgres||::1|6000|s||"
            << "";
        QTest::newRow("no provider") << "Data Source=/d/x.db"
                                     << ""
                                     << "no Provider";
        QTest::newRow("other provider") << "Provider=MSDASQL;DSN=x"
                                        << ""
                                        << "cannot write to the provider";
        QTest::newRow("no file") << "Provider=SQLite"
                                 << ""
                                 << "no database file";
        QTest::newRow("no database") << "Provider=PostgreSQL;Data Source=h"
                                     << ""
                                     << "Initial Catalog";
        QTest::newRow("bad port") << "Provider=PostgreSQL;Data Source=h:99999;Initial Catalog=s"
                                  << ""
                                  << "host[:port]";
        QTest::newRow("unclosed quote") << "Provider=SQLite;Data Source=\"/d/x.db"
                                        << ""
                                        << "not closed";
    }
    void connectionStrings()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QFETCH(QString, error);
        std::string reason;
        const std::optional<ConnectionSettings> settings =
            parseConnectionString(text.toStdString(), reason);
        QCOMPARE(settings.has_value(), error.isEmpty());
        if (!settings) {
            QVERIFY2(QString::fromStdString(reason).contains(error), reason.c_str());
            return;
        }
        const bool sqlite = settings->engine == ConnectionSettings::Engine::Sqlite;
        const QString found = QStringList{sqlite ? "sqlite" : "postgres",
                                          QString::fromStdString(settings->file),
                                          QString::fromStdString(settings->host),
                                          sqlite ? QString() : QString::number(settings->port),
                                          QString::fromStdString(settings->database),
                                          QString::fromStdString(settings->user),
                                          QString::fromStdString(settings->password)}
                                  .join(QLatin1Char('|'));
        QCOMPARE(found, expected);
    }
};

VARNOCK_TEST_MAIN(TestLedgerwellParsing)
#include "tst_ledgerwell_parsing.moc"
