#include "TestMain.h"

#include "ConnectionSettings.h"
#include "Framing.h"
#include "Ledger.h"
#include "LogLine.h"
#include "TextRules.h"

#include <QTest>

#include <map>

using namespace ledgerwell;

Q_DECLARE_METATYPE(ledgerwell::EventKind)

namespace {

QString text(std::string_view view)
{
    return QString::fromUtf8(view.data(), qsizetype(view.size()));
}

// Players a server has seen: "uid|id" each (all of them Steam ids).
class KnownPlayers : public PlayerDirectory
{
public:
    explicit KnownPlayers(const QStringList &players)
    {
        for (const QString &player : players)
            m_ids[player.section(QLatin1Char('|'), 0, 0)] = player.section(QLatin1Char('|'), 1);
    }
    Recognition recognise(const PlayerToken &token) const override
    {
        const auto found = m_ids.find(text(token.uid));
        if (found == m_ids.end())
            return Recognition::Unseen;
        return found->second == text(token.id) ? Recognition::SameId : Recognition::OtherId;
    }

private:
    std::map<QString, QString> m_ids;
};

const QByteArray T = "L 03/14/2026 - 20:00:40: ";

QString fnv(const QByteArray &bytes)
{
    quint32 hash = 2166136261u;
    for (const char c : bytes)
        hash = (hash ^ quint8(c)) * 16777619u;
    return QStringLiteral("%1").arg(hash, 8, 16, QLatin1Char('0'));
}

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
        QTest::addColumn<QByteArray>("secret");
        const QByteArray h = "\xFF\xFF\xFF\xFF";
        const QByteArray token = "T0123456789ABCDEF ";
        const auto row = [](const char *name, const QByteArray &datagram, Framing framing,
                            const QByteArray &lines, const QByteArray &secret = {}) {
            addRow(name, datagram, true, int(framing), lines, secret);
        };
        const auto bad = [](const char *name, const QByteArray &datagram) {
            addRow(name, datagram, false, 0, QByteArray(), QByteArray());
        };
        row("HL1", h + "log L x\n" + QByteArray(1, '\0'), Framing::Hl1, "L x");
        row("Source", h + "RL x\n" + QByteArray(1, '\0'), Framing::Source, "L x");
        row("Source with a token", h + "R" + token + "L x\n", Framing::Source, "L x");
        row("secret", h + "S12345L x\n", Framing::Secret, "L x", "12345");
        row("secret, HL1 form", h + "S77log L x\n", Framing::Secret, "L x", "77");
        row("secret and a token", h + "S77" + token + "L x\n", Framing::Secret, "L x", "77");
        row("secret with an L in it", h + "S-5LL x\n", Framing::Secret, "L x", "-5L");
        row("a posted line behind its token", h + "S7be6ded70c65df7103/21/2026 - 20:00:01.250 - x",
            Framing::Secret, "03/21/2026 - 20:00:01.250 - x", "7be6ded70c65df71");
        row("HL1 without line end", h + "log L x", Framing::Hl1, "L x");
        row("line break inside a framed line", h + "log L a\nL b\n", Framing::Hl1, "L a\nL b");
        row("plain lines, CR LF and blank lines", "L a\r\n\r\nL b\nL c", Framing::Plain,
            "L a|L b|L c");
        bad("empty", QByteArray());
        bad("HL1 header, no line", h + "log \n" + QByteArray(1, '\0'));
        bad("secret header without a secret", h + "SL x");
        bad("secret without a line after it", h + "S12345\n");
        bad("unknown header", h + "Qx");
        bad("only line ends", "\n\n\r\n");
    }
    void unframe()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, ok);
        QFETCH(int, framing);
        QFETCH(QByteArray, lines);
        QFETCH(QByteArray, secret);
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
        QCOMPARE(QByteArray(framed.secret.data(), qsizetype(framed.secret.size())), secret);
    }

    void parseLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<EventKind>("kind");
        QTest::addColumn<QString>("actor"); // name/id/team
        QTest::addColumn<QString>("other");
        QTest::addColumn<QString>("textValue");  // text|value
        QTest::addColumn<QString>("properties"); // key=value,...

        using K = EventKind;
        const auto row = [](const char *name, const QByteArray &line, EventKind kind,
                            const char *actor = "", const char *other = "",
                            const char *textValue = "|", const char *properties = "") {
            addRow(name, line, true, kind, QString(actor), QString(other), QString(textValue),
                   QString(properties));
        };
        const auto bad = [](const char *name, const QByteArray &line) {
            addRow(name, line, false, K::ServerMessage, QString(), QString(), QString(), QString());
        };
        row("log started, Source build",
            T + "log file STARTED (file \"a\") (game \"/srv/tf\") (version \"7010\")",
            K::LogStarted, "", "", "|", "file=a,game=/srv/tf,version=7010");
        row("cvar with an empty value", T + "Server cvar \"sv_password\" = \"\"", K::Cvar, "", "",
            "sv_password|");
        row("server name with quotes", T + "Server name is \"The \"Best\" Server\"", K::ServerName,
            "", "", "The \"Best\" Server|");
        row("switched team", T + "\"Al<2><BOT><CT>\" switched from team <CT> to <TERRORIST>",
            K::JoinedTeam, "Al/BOT/CT", "", "TERRORIST|");
        row("changed name", T + "\"Al<2><X><Red>\" changed name to \"Al \"the\" Great\"",
            K::ChangedName, "Al/X/Red", "", "Al \"the\" Great|");
        row("disconnected with a reason",
            T + "\"Al<2><X><Red>\" disconnected (reason \"Kicked (by \"admin\")\")",
            K::Disconnected, "Al/X/Red", "", "|", "reason=Kicked (by \"admin\")");
        row("killed, verb in capitals",
            T + "\"Al<2><X><CT>\" KILLED \"Bo<3><Y><TERRORIST>\" With \"ak47\"", K::Killed,
            "Al/X/CT", "Bo/Y/TERRORIST", "ak47|");
        row("killed with properties",
            T + "\"Al<2><X><Red>\" killed \"Bo<3><Y><Blue>\" with \"scattergun\" (headshot) "
                "(attacker_position \"-1 2 3\")",
            K::Killed, "Al/X/Red", "Bo/Y/Blue", "scattergun|", "headshot,attacker_position=-1 2 3");
        row("triggered against, with points",
            T + "\"Al<2><X><Red>\" triggered \"kill assist\" against \"Bo<3><Y><Blue>\" "
                "(points \"2\")",
            K::Triggered, "Al/X/Red", "Bo/Y/Blue", "kill assist|", "points=2");
        row("attacked",
            T + "\"Al<2><X><Red>\" attacked \"Bo<3><Y><Blue>\" with \"smg\" (damage \"12\")",
            K::Attacked, "Al/X/Red", "Bo/Y/Blue", "smg|", "damage=12");
        row("say with quotes", T + "\"Al<2><X><CT>\" say \"he said \"gg\"\"", K::Say, "Al/X/CT", "",
            "he said \"gg\"|");
        row("team triggered", T + "Team \"CT\" triggered \"CTs_Win\" (CT \"3\") (T \"1\")",
            K::TeamTriggered, "", "", "CT|CTs_Win", "CT=3,T=1");
        row("team current score", T + "Team \"Red\" current score \"2\" with \"12\" players",
            K::TeamScore, "", "", "Red|2");
        row("empty name and team", T + "\"<2><BOT><>\" entered the game", K::Entered, "/BOT/");
        row("unknown player event", T + "\"Al<2><X><CT>\" sv_throw_hegrenade 982.5 495.5",
            K::PlayerOther, "Al/X/CT", "", "sv_throw_hegrenade|");
        row("unknown server event", T + "Rcon: \"rcon 1 \"x\" status\" from \"1.2.3.4:1\"",
            K::ServerMessage);

        // Shapes that real CS:GO, CS2, TF2 and GoldSrc servers write.
        row("kill with positions and two flags",
            T + "\"Pl<2><STEAM_1:1:1><TERRORIST>\" [-762 -894 1614] killed \"Ma<7><BOT><CT>\" "
                "[-958 1081 1751] with \"ak47\" (headshot penetrated)",
            K::Killed, "Pl/STEAM_1:1:1/TERRORIST", "Ma/BOT/CT", "ak47|", "headshot,penetrated");
        row("attack with positions and a two-word value",
            T + "\"Jo<9><BOT><CT>\" [1399 120 1614] attacked \"Or<8><BOT><TERRORIST>\" [1 2 3] "
                "with \"hkp2000\" (damage \"32\") (hitgroup \"left leg\")",
            K::Attacked, "Jo/BOT/CT", "Or/BOT/TERRORIST", "hkp2000|",
            "damage=32,hitgroup=left leg");
        row("assist", T + "\"De<11><BOT><CT>\" assisted killing \"Wy<10><BOT><TERRORIST>\"",
            K::Assist, "De/BOT/CT", "Wy/BOT/TERRORIST", "|");
        row("flash assist", T + "\"De<11><BOT><CT>\" flash-assisted killing \"Wy<10><BOT><T>\"",
            K::FlashAssist, "De/BOT/CT", "Wy/BOT/T", "|");
        row("kill of a chicken",
            T + "\"Da<159><BOT><T>\" [378 1888 130] killed other \"chicken<197>\" [880 2318 146] "
                "with \"hegrenade\"",
            K::KilledOther, "Da/BOT/T");
        row("token without a team group",
            T + "\"Ron<4><BOT>\" switched from team <Unassigned> to <CT>", K::JoinedTeam,
            "Ron/BOT/", "", "CT|");
        row("blinded, blank at the end",
            T + "\"A<3><BOT><CT>\" blinded for 0.98 by \"B<4><BOT><T>\" from flashbang entindex "
                "124 ",
            K::Blinded, "A/BOT/CT", "B/BOT/T", "|");
        row("threw, unbalanced parenthesis",
            T + "\"A<3><BOT><CT>\" threw flashbang [-145 979 1689] flashbang entindex 124)",
            K::PlayerOther, "A/BOT/CT", "", "threw|");
        row("trigger against with a weapon",
            T + "\"P<2><[U:1:5]><Red>\" triggered \"player_extinguished\" against "
                "\"Q<3><[U:1:6]><Red>\" with \"tf_weapon_flamethrower\" (attacker_position \"1 2 "
                "3\")",
            K::Triggered, "P/[U:1:5]/Red", "Q/[U:1:6]/Red", "player_extinguished|",
            "attacker_position=1 2 3");
        row("trigger at a bombsite",
            T + "\"P<2><X><TERRORIST>\" triggered \"Bomb_Begin_Plant\" at bombsite A", K::Triggered,
            "P/X/TERRORIST", "", "Bomb_Begin_Plant|bombsite A");
        row("object kill with its owner in a property",
            T + "\"P<2><[U:1:5]><Red>\" triggered \"killedobject\" (object \"OBJ_SENTRYGUN\") "
                "(objectowner \"Q<3><[U:1:6]><Blue>\")",
            K::Triggered, "P/[U:1:5]/Red", "", "killedobject|",
            "object=OBJ_SENTRYGUN,objectowner=Q<3><[U:1:6]><Blue>");
        row("world trigger with a reason",
            T + "World triggered \"Game_Over\" reason \"Reached Time Limit\"", K::WorldTriggered,
            "", "", "Game_Over|Reached Time Limit");
        row("world trigger on a map", T + "World triggered \"Match_Start\" on \"de_inferno\"",
            K::WorldTriggered, "", "", "Match_Start|de_inferno");
        row("game over", T + "Game Over: competitive  de_inferno score 2:13 after 10 min",
            K::GameOver, "", "", "|2:13");
        row("JSON round statistics", T + "\"round_number\" : \"1\",", K::RoundStats, "", "",
            "round_number|1");
        row("JSON end", T + "}}JSON_END", K::RoundStats, "", "", "JSON_END|");
        row("JSON begin", T + "JSON_BEGIN{", K::RoundStats, "", "", "JSON_BEGIN|");
        row("JSON player row", T + "\"player_1\" : \"   91379634,      2,   4050\"", K::RoundStats,
            "", "", "player_1|   91379634,      2,   4050");
        row("JSON opening a list", T + "\"players\" : {", K::RoundStats, "", "", "players|{");
        bad("JSON player row cut short", T + "\"player_1\" : \"   91379634,      2,   40");
        row("cvar dump", T + "\"cash_player_killed_teammate\" = \"-300\"", K::Cvar, "", "",
            "cash_player_killed_teammate|-300");
        row("team playing", T + "Team playing \"CT\": Lancaster Bombers", K::TeamOther);
        row("byte order mark before the time", "\xEF\xBB\xBF" + T + "Log file closed",
            K::LogClosed);
        row("console with doubled quotes",
            T + "\"Console<0><Console><Console>\" say \"\"cfg executed\"\"", K::Say,
            "Console/Console/Console", "", "\"cfg executed\"|");
        row("killed by the bomb",
            T + "\"Duffy<3><BOT><CT>\" [260 2031 1769] was killed by the bomb.", K::KilledByWorld,
            "Duffy/BOT/CT", "", "bomb|");
        row("the class of a life", T + "\"Bv<7><[U:1:88677982]><Blue>\" spawned as \"Soldier\"",
            K::Spawned, "Bv/[U:1:88677982]/Blue", "", "Soldier|");
        row("an item picked up",
            T + "\"Rayno<163><[U:1:205162937]><Red>\" picked up item \"medkit_medium\" (healing "
                "\"41\")",
            K::PickedUp, "Rayno/[U:1:205162937]/Red", "", "medkit_medium|", "healing=41");
        bad("killed by something quoted", T + "\"Al<2><X><CT>\" was killed by the \"bomb\".");
        bad("an item with a quote in it", T + "\"Al<2><X><CT>\" picked up item \"med\"kit\"");
        // A time inside a line: the next line glued to a cut-off one, or words in a message.
        const QByteArray next = "L 03/14/2026 - 20:00:41: \"Al<2><STEAM_0:1:1><CT>\" ";
        row("a cut-off line glued to the next",
            T + "\"Bo<3><BOT><T>\" triggered \"shot_fired\" (weapon \"scatt" + next +
                "entered the game",
            K::Entered, "Al/STEAM_0:1:1/CT");
        row("a cut-off line glued to the next, whole line unreadable",
            T + "Loading map \"cp_gully" + next + "changed role to \"medic\"", K::ChangedRole,
            "Al/STEAM_0:1:1/CT", "", "medic|");
        row("a time typed into chat stays chat",
            T + "\"Mal<5><STEAM_0:1:5><CT>\" say \"x " + next + "entered the game\"", K::Say,
            "Mal/STEAM_0:1:5/CT", "",
            "x L 03/14/2026 - 20:00:41: \"Al<2><STEAM_0:1:1><CT>\" entered the game|");
        bad("a time after a line break is no line",
            T + "\"Bo<3><BOT><T>\" say \"hi\n" + next + "entered the game");

        bad("no time", "Log file closed");
        bad("time without the blank", "L 03/14/2026 - 20:00:40:Log file closed");
        bad("month 13", "L 13/14/2026 - 20:00:40: Log file closed");
        bad("29 February of a common year", "L 02/29/2026 - 20:00:40: Log file closed");
        row("29 February of a leap year", "L 02/29/2028 - 20:00:40: Log file closed", K::LogClosed);
        row("as CS2 posts it", "01/19/2026 - 18:58:10.512 - Log file closed", K::LogClosed);
        bad("posted without milliseconds", "01/19/2026 - 18:58:10 - Log file closed");
        bad("posted with a colon", "01/19/2026 - 18:58:10.512: Log file closed");
        bad("hour 24", "L 03/14/2026 - 24:00:40: Log file closed");
        bad("nothing after the time", T);
        bad("kill without a weapon", T + "\"Al<2><X><CT>\" killed \"Bo<3><Y><T>\"");
        bad("kill with quotes in the weapon",
            T + "\"Al<2><X><CT>\" killed \"Bo<3><Y><T>\" with \"a\"k\"");
        bad("victim without a group", T + "\"Al<2><X><CT>\" killed \"Bo\" with \"ak47\"");
        bad("uid that is not a number", T + "\"Al<two><X><CT>\" entered the game");
        bad("unbalanced quotes", T + "\"Al<2><X><CT> killed \"Bo<3><Y><T>\" with \"m4a1\"");
        bad("malformed cvar", T + "Server cvar \"x\" \"y\"");
        bad("text after a trigger", T + "\"Al<2><X><CT>\" triggered \"x\" soon");
        bad("world trigger without its closing quote", T + "World triggered \"Round_Start");
        bad("line too long", T + "\"" + QByteArray(5000, 'n') + "<2><X><CT>\" entered the game");
    }
    void parseLine()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, ok);
        QFETCH(EventKind, kind);
        QFETCH(QString, actor);
        QFETCH(QString, other);
        QFETCH(QString, textValue);
        QFETCH(QString, properties);
        const LineParse parsed =
            ledgerwell::parseLine(std::string_view(line.constData(), size_t(line.size())));
        QCOMPARE(parsed.ok, ok);
        if (!parsed.ok) {
            QVERIFY(!parsed.reason.empty());
            return;
        }
        const Event &event = parsed.line.event;
        QCOMPARE(event.kind, kind);
        const auto token = [](const PlayerToken &t) {
            return text(t.name) + QLatin1Char('/') + text(t.id) + QLatin1Char('/') + text(t.team);
        };
        if (!actor.isEmpty())
            QCOMPARE(token(event.actor), actor);
        QCOMPARE(event.hasOther, !other.isEmpty());
        if (!other.isEmpty())
            QCOMPARE(token(event.other), other);
        if (kind != EventKind::ServerMessage)
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
    // alone cannot tell, the uids the server has given other players rule readings out, or
    // nobody is credited. Names rule nothing out: the server may have changed one since.
    void spoofedTokens_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QStringList>("known"); // uid|id
        QTest::addColumn<QString>("actorId");   // empty: the line is ambiguous
        QTest::addColumn<QString>("otherId");
        const QByteArray m = "<2><STEAM_1:0:1><CT>\" killed \""; // Mallory's name
        const QByteArray killerImitates = T + "\"" + m +
                                          "<9><STEAM_0:0:666><CT>\" killed "
                                          "\"V<7><STEAM_0:0:111><T>\" with \"knife\"";
        const QByteArray twoKills = T + "\"Q<5><STEAM_0:0:5><T>\" killed \"x<9><STEAM_0:0:9><T>\" "
                                        "killed \"y<7><STEAM_0:0:7><CT>\" with \"awp\"";
        addRow("imitation in the killer's name, unknown players", killerImitates, QStringList(), "",
               "");
        addRow("imitation in the killer's name, the players known", killerImitates,
               QStringList{"9|STEAM_0:0:666", "7|STEAM_0:0:111"}, "", "");
        addRow("imitation in the killer's name, its uid another player's", killerImitates,
               QStringList{"2|STEAM_1:0:2"}, "STEAM_0:0:666", "STEAM_0:0:111");
        addRow("victim imitates a killer, the players known", twoKills,
               QStringList{"5|STEAM_0:0:5", "7|STEAM_0:0:7"}, "", "");
        addRow("victim imitates a killer, its uid another player's", twoKills,
               QStringList{"9|STEAM_0:0:99"}, "STEAM_0:0:5", "STEAM_0:0:7");
        addRow("weapon imitation in a victim name",
               T + "\"K<1><STEAM_0:0:1><T>\" killed \"z<4><STEAM_0:0:4><CT>\" with \"knife<7>"
                   "<STEAM_0:0:7><CT>\" with \"awp\"",
               QStringList(), "STEAM_0:0:1", "STEAM_0:0:7");
    }
    void spoofedTokens()
    {
        QFETCH(QByteArray, line);
        QFETCH(QStringList, known);
        QFETCH(QString, actorId);
        QFETCH(QString, otherId);
        const KnownPlayers directory(known);
        const LineParse parsed = ledgerwell::parseLine(
            std::string_view(line.constData(), size_t(line.size())), &directory);
        QCOMPARE(parsed.ambiguous, actorId.isEmpty());
        if (parsed.ambiguous)
            return;
        QVERIFY2(parsed.ok, parsed.reason.c_str());
        QCOMPARE(text(parsed.line.event.actor.id), actorId);
        QCOMPARE(text(parsed.line.event.other.id), otherId);
    }

    void playerRowKeys_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("key");
        addRow("Steam id", "Al", "STEAM_0:1:234", "STEAM_0:1:234");
        addRow("Steam3 id", "Al", "[U:1:68745073]", "[U:1:68745073]");
        addRow("bot", "Dave", "BOT", "Dave");
        addRow("LAN", "Hank", "STEAM_ID_LAN", "Hank");
        addRow("all zeros is no id", "Al", "0000000000", "Al");
        // Servers without Steam give everyone the same account: players are told by name.
        addRow("placeholder account", "Al", "STEAM_0:0:12345", "Al");
        addRow("placeholder account 0", "Al", "STEAM_1:0:0", "Al");
        addRow("account 1 is someone's", "Al", "STEAM_0:1:0", "STEAM_0:1:0");
        addRow("account 1 in the Steam3 form", "Al", "[U:1:1]", "[U:1:1]");
        addRow("placeholder Steam3 id", "Al", "[U:1:24690]", "Al");
        addRow("account 12346 is real", "Al", "STEAM_0:0:12346", "STEAM_0:0:12346");
        addRow("account 123 is real", "Al", "STEAM_0:0:123", "STEAM_0:0:123");
        addRow("Steam3 id of account 12346", "Al", "[U:1:24692]", "[U:1:24692]");
        addRow("name that is a Steam id", "STEAM_0:1:234", "BOT", "~STEAM_0:1:234");
        addRow("50 characters kept", QString(50, QChar(0x00E9)), "BOT", QString(50, QChar(0x00E9)));
        // FNV-1a of the 51 characters' UTF-8 bytes.
        addRow("51 characters get a hash", QString(51, QLatin1Char('b')), "BOT",
               QString(41, QLatin1Char('b')) + "~" + fnv(QByteArray(51, 'b')));
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
        QTest::addColumn<bool>("latin1");
        addRow("plain", QByteArray("Alice"), 50, QByteArray("Alice"), false);
        addRow("control characters and DEL",
               QByteArray("A\tl\x01i\x7F"
                          "ce"),
               50, QByteArray("Alice"), false);
        addRow("C1 control", QByteArray("A\xC2\x85Z"), 50, QByteArray("AZ"), false);
        addRow("cut by characters, not bytes", QByteArray("\xC3\xA9\xC3\xA9\xC3\xA9"), 2,
               QByteArray("\xC3\xA9\xC3\xA9"), false);
        addRow("Latin-1 guillemet", QByteArray("\xAB povohat"), 50, QByteArray("\xC2\xAB povohat"),
               true);
        addRow("Windows-1252 euro and quotes", QByteArray("\x80\x93\x94"), 50,
               QByteArray("\xE2\x82\xAC\xE2\x80\x9C\xE2\x80\x9D"), true);
        addRow("truncated sequence at the end", QByteArray("Al\xE2\x82"), 50,
               QByteArray("Al\xC3\xA2\xE2\x80\x9A"), true);
        addRow("byte the code page leaves undefined is a control", QByteArray("A\x81Z"), 50,
               QByteArray("AZ"), true);
        addRow("four-byte character kept", QByteArray("\xF0\x9F\x98\x80"), 50,
               QByteArray("\xF0\x9F\x98\x80"), false);
    }
    void storedText()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, maxChars);
        QFETCH(QByteArray, stored);
        QFETCH(bool, latin1);
        std::string text = input.toStdString();
        QCOMPARE(isValidUtf8(text), !latin1);
        if (latin1)
            text = fromWindows1252(text);
        QVERIFY(isValidUtf8(text));
        QCOMPARE(QByteArray::fromStdString(ledgerwell::storedText(text, size_t(maxChars))), stored);
    }

    // How elements are quoted and trimmed is compared with the program's reading in
    // tst_connectionstring; these rows are what the settings make of them.
    void connectionStrings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // engine|file|host|port|database|user|password
        QTest::addColumn<QString>("error");
        addRow("Jet 3.51 file",
               "Provider=Microsoft.Jet.OLEDB.3.51;Persist Security Info=False;Data Source=/d/t.mdb",
               "sqlite|/d/t.mdb|||||", "");
        addRow("Jet 4.0, keys in any case and blanks",
               " provider = microsoft.jet.oledb.4.0 ; DATA SOURCE = /d/x.db ",
               "sqlite|/d/x.db|||||", "");
        addRow("PostgreSQL with port and User Password",
               "Provider=PostgreSQL;Data Source=db.local:5433;Initial Catalog=stats;User "
               "ID=varnock;User Password='it''s'",
               "postgres||db.local|5433|stats|varnock|it's", "");
        addRow("PostgreSQL, default port, Password",
               "Provider=PostgreSQL;Data Source=127.0.0.1;Initial Catalog=s;Password=p",
               "postgres||127.0.0.1|5432|s||p", "");
        addRow("PostgreSQL on IPv6", "Provider=PostgreSQL;Data Source=[::1]:6000;Initial Catalog=s",
               "postgres||::1|6000|s||", "");
        addRow("no provider", "Data Source=/d/x.db", "", "no Provider");
        addRow("other provider", "Provider=MSDASQL;DSN=x", "", "cannot write to the provider");
        addRow("no file", "Provider=SQLite", "", "no database file");
        addRow("no database", "Provider=PostgreSQL;Data Source=h", "", "Initial Catalog");
        addRow("bad port", "Provider=PostgreSQL;Data Source=h:99999;Initial Catalog=s", "",
               "host[:port]");
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
