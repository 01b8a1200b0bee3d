#include "TestMain.h"

#include "ConnectionSettings.h"
#include "Framing.h"
#include "Ledger.h"
#include "LogLine.h"
#include "TextRules.h"

#include <QTest>

using namespace ledgerwell;

Q_DECLARE_METATYPE(ledgerwell::EventKind)

namespace {

QString text(std::string_view view)
{
    return QString::fromUtf8(view.data(), qsizetype(view.size()));
}

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
        row("secret, HL1 form", h + "S77log L x\n", Framing::Secret, "L x", "77");
        row("secret and a token", h + "S77" + token + "L x\n", Framing::Secret, "L x", "77");
        row("a posted line behind its token", h + "S7be6ded70c65df7103/21/2026 - 20:00:01.250 - x",
            Framing::Secret, "03/21/2026 - 20:00:01.250 - x", "7be6ded70c65df71");
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
        row("server name with quotes", T + "Server name is \"The \"Best\" Server\"", K::ServerName,
            "", "", "The \"Best\" Server|");

        // Shapes that real CS:GO, CS2, TF2 and GoldSrc servers write.
        row("kill with positions and two flags",
            T + "\"Pl<2><STEAM_1:1:1><TERRORIST>\" [-762 -894 1614] killed \"Ma<7><BOT><CT>\" "
                "[-958 1081 1751] with \"ak47\" (headshot penetrated)",
            K::Killed, "Pl/STEAM_1:1:1/TERRORIST", "Ma/BOT/CT", "ak47|", "headshot,penetrated");
        row("token without a team group",
            T + "\"Ron<4><BOT>\" switched from team <Unassigned> to <CT>", K::JoinedTeam,
            "Ron/BOT/", "", "CT|");
        bad("JSON player row cut short", T + "\"player_1\" : \"   91379634,      2,   40");
        row("cvar dump", T + "\"cash_player_killed_teammate\" = \"-300\"", K::Cvar, "", "",
            "cash_player_killed_teammate|-300");
        bad("killed by something quoted", T + "\"Al<2><X><CT>\" was killed by the \"bomb\".");
        bad("an item with a quote in it", T + "\"Al<2><X><CT>\" picked up item \"med\"kit\"");
        // A time inside a line: the next line glued to a cut-off one, or words in a message.
        const QByteArray next = "L 03/14/2026 - 20:00:41: \"Al<2><STEAM_0:1:1><CT>\" ";
        row("a cut-off line glued to the next",
            T + "\"Bo<3><BOT><T>\" triggered \"shot_fired\" (weapon \"scatt" + next +
                "entered the game",
            K::Entered, "Al/STEAM_0:1:1/CT");
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
        addRow("cut by characters, not bytes", QByteArray("\xC3\xA9\xC3\xA9\xC3\xA9"), 2,
               QByteArray("\xC3\xA9\xC3\xA9"), false);
        addRow("Latin-1 guillemet", QByteArray("\xAB povohat"), 50, QByteArray("\xC2\xAB povohat"),
               true);
        addRow("Windows-1252 euro and quotes", QByteArray("\x80\x93\x94"), 50,
               QByteArray("\xE2\x82\xAC\xE2\x80\x9C\xE2\x80\x9D"), true);
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
