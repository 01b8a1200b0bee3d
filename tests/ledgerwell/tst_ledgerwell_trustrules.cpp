#include "TestMain.h"

#include "AllowedSender.h"
#include "RefusalNotes.h"
#include "SenderCheck.h"
#include "TrustRules.h"

#include <QTest>

using namespace ledgerwell;

namespace {

std::string_view view(const QByteArray &bytes)
{
    return std::string_view(bytes.constData(), size_t(bytes.size()));
}

QString problemsOf(const TrustRules &rules)
{
    QStringList found;
    for (const TrustProblem &problem : rules.problems())
        found << QString::number(problem.line) + ": " + QString::fromStdString(problem.closes);
    return found.join(QLatin1Char('|'));
}

} // namespace

// Which senders a port trusts: the allow-list entries, the rules file, the comparison of
// secrets, and how often refusals are noted.
class TestLedgerwellTrustRules : public QObject
{
    Q_OBJECT

private slots:
    void allowedSender_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QByteArray>("senderIp"); // empty: the entry must be refused
        QTest::addColumn<int>("senderPort");
        QTest::addColumn<bool>("admitted");
        addRow("IPv4, any port", QByteArray("203.0.113.7"), QByteArray("203.0.113.7"), 40000, true);
        addRow("IPv4, another address", QByteArray("203.0.113.7"), QByteArray("203.0.113.70"), 1,
               false);
        addRow("IPv4 and port", QByteArray("198.51.100.20:27015"), QByteArray("198.51.100.20"),
               27015, true);
        addRow("IPv4, another port", QByteArray("198.51.100.20:27015"), QByteArray("198.51.100.20"),
               27016, false);
        addRow("IPv4 sender written IPv4-mapped", QByteArray("203.0.113.7"),
               QByteArray("::ffff:203.0.113.7"), 27015, true);
        addRow("IPv6, any port", QByteArray("2001:db8::5"), QByteArray("2001:db8:0:0::5"), 27015,
               true);
        addRow("IPv6 in brackets", QByteArray("[2001:db8::5]"), QByteArray("2001:db8::5"), 1, true);
        addRow("IPv6 and port", QByteArray("[2001:db8::5]:27015"), QByteArray("2001:db8::5"), 27015,
               true);
        addRow("IPv6, another port", QByteArray("[2001:db8::5]:27015"), QByteArray("2001:db8::5"),
               27016, false);
        addRow("IPv6 entry, IPv4 sender", QByteArray("::1"), QByteArray("127.0.0.1"), 1, false);
        for (const char *bad : {"gameserver.example", "203.0.113.7:0", "203.0.113.7:65536",
                                "203.0.113.7:", "203.0.113.7:+5", "203.0.113", "2001:db8::5:27015",
                                "[2001:db8::5", "[2001:db8::5]27015", "203.0.113.0/24", ""})
            addRow(qPrintable(QStringLiteral("refused: \"%1\"").arg(bad)), QByteArray(bad),
                   QByteArray(), 0, false);
    }
    void allowedSender()
    {
        QFETCH(QByteArray, entry);
        QFETCH(QByteArray, senderIp);
        QFETCH(int, senderPort);
        QFETCH(bool, admitted);
        std::string reason;
        const std::optional<AllowedSender> allowed = parseAllowedSender(view(entry), reason);
        if (senderIp.isEmpty()) {
            QVERIFY(!allowed);
            QVERIFY(!reason.empty());
            return;
        }
        QVERIFY2(allowed, reason.c_str());
        const std::optional<IpAddress> sender = parseIpAddress(view(senderIp));
        QVERIFY(sender);
        QCOMPARE(allowed->admits(*sender, senderPort), admitted);
    }

    // What each port is left with: "open" (no rules), "closed", or the number of allowed
    // addresses and the secret; and the problems as "line: what they close".
    void rulesFile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("port28000");
        QTest::addColumn<QString>("port27000");
        QTest::addColumn<QString>("problems");
        addRow("empty file", QByteArray(), "open", "open", "");
        addRow("a section a port",
               QByteArray("[28000]\nallow = 203.0.113.7, 198.51.100.20:27015\nsecret = 42\n"),
               "2 42", "open", "");
        addRow("comments, CR LF, blanks, a byte order mark, quotes",
               QByteArray("\xEF\xBB\xBF; rules\r\n# more\r\n\r\n  [ 28000 ]  \r\n ALLOW=::1 \r\n"
                          "Secret = \"-42\"\r\n"),
               "1 -42", "open", "");
        addRow("allow lines add up", QByteArray("[28000]\nallow = ::1\nallow = ::2, ::3\n"), "3 ",
               "open", "");
        addRow("[default] covers ports without a section",
               QByteArray("[default]\nallow = ::1\n[28000]\nsecret = 7\n"), "0 7", "1 ", "");
        addRow("an empty section opens its port", QByteArray("[default]\nallow = ::1\n[28000]\n"),
               "0 ", "1 ", "");
        addRow("a bad entry closes its port only",
               QByteArray("[28000]\nallow = ::1, gameserver.example\n[27000]\nallow = ::1\n"),
               "closed", "1 ", "2: port 28000");
        addRow("a bad entry in [default] closes the ports it covers",
               QByteArray("[default]\nallow = x\n[28000]\nallow = ::1\n"), "1 ", "closed",
               "2: every port without a section of its own");
        addRow("an empty allow closes", QByteArray("[28000]\nallow =\n"), "closed", "open",
               "2: port 28000");
        addRow("an unknown setting closes", QByteArray("[28000]\nalow = ::1\n"), "closed", "open",
               "2: port 28000");
        addRow("a line without =", QByteArray("[28000]\nallow ::1\n"), "closed", "open",
               "2: port 28000");
        addRow("a second secret", QByteArray("[28000]\nsecret = 1\nsecret = 2\n"), "closed", "open",
               "3: port 28000");
        addRow("a secret a server cannot send", QByteArray("[28000]\nsecret = s3cret\n"), "closed",
               "open", "2: port 28000");
        addRow("a CS2 server's posted token", QByteArray("[28000]\nsecret = 7be6ded70c65DF71\n"),
               "0 7be6ded70c65DF71", "open", "");
        addRow("a token a digit short", QByteArray("[28000]\nsecret = 7be6ded70c65df7\n"), "closed",
               "open", "2: port 28000");
        addRow("secret 0 turns secrets off on the server", QByteArray("[28000]\nsecret = 000\n"),
               "closed", "open", "2: port 28000");
        addRow("a second section for a port", QByteArray("[28000]\nallow=::1\n[28000]\n"), "closed",
               "open", "3: port 28000");
        addRow("a bad header closes every port",
               QByteArray("[27000]\nallow = ::1\n[2800O]\nallow = ::1\n"), "closed", "closed",
               "3: every port");
        addRow("[*] is no section name", QByteArray("[*]\nallow = ::1\n"), "closed", "closed",
               "1: every port");
        addRow("port 0", QByteArray("[0]\n"), "closed", "closed", "1: every port");
        addRow("an unclosed header", QByteArray("[28000\nallow = ::1\n"), "closed", "closed",
               "1: every port");
        addRow("a setting before any section", QByteArray("allow = ::1\n[28000]\n"), "closed",
               "closed", "1: every port");
    }
    void rulesFile()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, port28000);
        QFETCH(QString, port27000);
        QFETCH(QString, problems);
        const TrustRules rules = TrustRules::parse(view(text), "Ledgerwell.ini");
        const auto summary = [&](int port) {
            const PortTrust *rule = rules.forPort(port);
            if (!rule)
                return QStringLiteral("open");
            if (!rule->closed.empty())
                return QStringLiteral("closed");
            return QString::number(rule->allow.size()) + ' ' + QString::fromStdString(rule->secret);
        };
        QCOMPARE(summary(28000), port28000);
        QCOMPARE(summary(27000), port27000);
        QCOMPARE(problemsOf(rules), problems);
    }

    void sameSecret_data()
    {
        QTest::addColumn<QByteArray>("given");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<bool>("same");
        addRow("equal", QByteArray("48151623"), QByteArray("48151623"), true);
        addRow("last byte differs", QByteArray("48151624"), QByteArray("48151623"), false);
        addRow("a prefix", QByteArray("4815"), QByteArray("48151623"), false);
        addRow("longer", QByteArray("481516230"), QByteArray("48151623"), false);
        addRow("a NUL after it", QByteArray("48151623\0", 9), QByteArray("48151623"), false);
    }
    void sameSecret()
    {
        QFETCH(QByteArray, given);
        QFETCH(QByteArray, expected);
        QFETCH(bool, same);
        QCOMPARE(ledgerwell::sameSecret(view(given), view(expected)), same);
    }

    // Times are handed in, so the minute passes without waiting for it.
    void refusalsAreNotedOnceAMinuteASender()
    {
        using namespace std::chrono_literals;
        RefusalNotes notes;
        const RefusalNotes::Clock::time_point t0{};
        QVERIFY(notes.refused("a", t0).note);
        QVERIFY(!notes.refused("a", t0 + 10s).note);
        QVERIFY(!notes.refused("a", t0 + 59s).note);
        QVERIFY(notes.refused("b", t0 + 59s).note); // another sender has its own minute
        const RefusalNotes::Decision later = notes.refused("a", t0 + 60s);
        QVERIFY(later.note);
        QCOMPARE(later.skipped, std::uint64_t(2));
        QCOMPARE(notes.refused("a", t0 + 61s).note, false);
    }

    void manySendersArePooledAndForgotten()
    {
        using namespace std::chrono_literals;
        RefusalNotes notes;
        const RefusalNotes::Clock::time_point t0{};
        for (std::size_t i = 0; i < RefusalNotes::Capacity; ++i)
            QVERIFY(notes.refused("s" + std::to_string(i), t0).note);
        const RefusalNotes::Decision first = notes.refused("new1", t0 + 1s);
        QVERIFY(first.note && first.pooled);
        QVERIFY(!notes.refused("new2", t0 + 2s).note);
        QCOMPARE(notes.remembered(), RefusalNotes::Capacity);
        // A minute on, the old senders make room again.
        const RefusalNotes::Decision room = notes.refused("new3", t0 + 61s);
        QVERIFY(room.note && !room.pooled);
        QVERIFY(notes.remembered() < RefusalNotes::Capacity);
    }
};

VARNOCK_TEST_MAIN(TestLedgerwellTrustRules)
#include "tst_ledgerwell_trustrules.moc"
