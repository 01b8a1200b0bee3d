#include "LedgerwellHarness.h"
#include "TestMain.h"

#include "intake/ScoringAbi.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <dlfcn.h>

namespace {

const QByteArray Line = "L 03/14/2026 - 20:00:00: World triggered \"Round_Start\"";
const QByteArray NoFile = "(no file)";
const QByteArray FolderInstead = "(a folder in its place)";

// Ledgerwell.so installed in a program folder of the test's own beside the Ledgerwell.ini
// given, and loaded from there: a library state of its own that reads that file.
class InstalledLedgerwell
{
public:
    InstalledLedgerwell(const QString &folder, const QByteArray &ini)
    {
        QDir().mkpath(folder);
        const QString library = folder + "/Ledgerwell.so";
        if (!QFile::copy(QStringLiteral(LEDGERWELL_PATH), library)) {
            m_error = "cannot copy the library to " + library;
            return;
        }
        if (ini == FolderInstead) {
            QDir().mkpath(folder + "/Ledgerwell.ini");
        } else if (ini != NoFile) {
            QFile file(folder + "/Ledgerwell.ini");
            if (!file.open(QIODevice::WriteOnly) || file.write(ini) != ini.size())
                m_error = "cannot write " + file.fileName();
        }
        m_library = dlopen(QFile::encodeName(library).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!m_library) {
            m_error = QString::fromLocal8Bit(dlerror());
            return;
        }
        m_classId = reinterpret_cast<ScoringComponentClassIdFn>(
            dlsym(m_library, "ScoringComponentClassId"));
        m_create =
            reinterpret_cast<ScoringComponentCreateFn>(dlsym(m_library, "ScoringComponentCreate"));
        m_counters = reinterpret_cast<LedgerwellCountersFn>(dlsym(m_library, "LedgerwellCounters"));
        if (!m_classId || !m_create || !m_counters)
            m_error = "not a Ledgerwell library";
    }
    ~InstalledLedgerwell() { unload(); }

    QString error() const { return m_error; }

    // One datagram handed over as the program does; what Process returned.
    ScStatus process(const QString &connectionString, int listenPort, const QString &sender,
                     const QString &logPath, const QByteArray &payload)
    {
        ScoreObject *object = nullptr;
        if (m_create(m_classId(), &object) != SC_OK || !object)
            return SC_E_FAIL;
        const qsizetype colon = sender.lastIndexOf(QLatin1Char(':'));
        const ScoreObjectVtbl *v = object->vtbl;
        v->SetConnectionString(object, connectionString.toUtf8().constData());
        v->SetListenPort(object, listenPort);
        v->SetSenderIP(object, sender.left(colon).toUtf8().constData());
        v->SetSenderPort(object, sender.mid(colon + 1).toInt());
        v->SetLogPath(object, logPath.toUtf8().constData());
        v->SetRawMode(object, 1);
        v->SetPayload(object, reinterpret_cast<const uint8_t *>(payload.constData()),
                      size_t(payload.size()));
        const ScStatus status = v->Process(object);
        v->Release(object);
        return status;
    }

    LedgerwellCounterSet counters() const
    {
        LedgerwellCounterSet set = {};
        m_counters(&set);
        return set;
    }

    // The library's end commits what is open and closes the log files.
    void unload()
    {
        if (m_library)
            dlclose(m_library);
        m_library = nullptr;
    }

private:
    void *m_library = nullptr;
    ScoringComponentClassIdFn m_classId = nullptr;
    ScoringComponentCreateFn m_create = nullptr;
    LedgerwellCountersFn m_counters = nullptr;
    QString m_error;
};

} // namespace

// Only the game servers a port trusts are counted: the senders and log secret that
// Ledgerwell.ini beside the library names, checked by the real Ledgerwell.so before it
// writes anything to a real SQLite file.
class TestLedgerwellTrust : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // The library putting the rules, the listening port, the sender and the framing together.
    void onlyTrustedSendersAreWritten_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("outcome"); // written, or refused for its "sender" or "secret"
        const QByteArray hl1 = Framed::hl1(Line);
        const QByteArray source = Framed::source(Line);
        const QByteArray right = Framed::secret(Line, "48151623");
        const QByteArray allow = "[28000]\nallow = 203.0.113.7, 198.51.100.20:27015, "
                                 "[2001:db8::6]:27015\n";
        const QByteArray secret = "[28000]\nsecret = 48151623\n";
        const QByteArray both = "[28000]\nallow = 203.0.113.7\nsecret = 48151623\n";

        addRow("no file: every sender", NoFile, "203.0.113.9:27015", hl1, "written");
        addRow("only another port has rules", QByteArray("[27000]\nallow = 203.0.113.7\n"),
               "203.0.113.9:27015", hl1, "written");
        addRow("address not allowed", allow, "203.0.113.8:27015", hl1, "sender");
        addRow("allowed address and port", allow, "198.51.100.20:27015", source, "written");
        addRow("allowed address, another port", allow, "198.51.100.20:27016", source, "sender");
        addRow("right secret", secret, "192.0.2.1:27015", right, "written");
        addRow("no secret: HL1", secret, "192.0.2.1:27015", hl1, "secret");
        addRow("no secret: plain text", secret, "192.0.2.1:27015", Line, "secret");
        addRow("allowed sender, wrong secret", both, "203.0.113.7:27015", Framed::secret(Line, "1"),
               "secret");
        addRow("stranger with the right secret", both, "203.0.113.8:27015", right, "sender");
        addRow("allowed sender, right secret", both, "203.0.113.7:27015", right, "written");
    }
    void onlyTrustedSendersAreWritten()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, sender);
        QFETCH(QByteArray, datagram);
        QFETCH(QString, outcome);
        TEST_DATABASE(db, Engine::Sqlite, m_dir.path());
        InstalledLedgerwell ledgerwell(nextFolder(), ini);
        QVERIFY2(ledgerwell.error().isEmpty(), qPrintable(ledgerwell.error()));
        const QString log = m_dir.filePath(QStringLiteral("table_%1.log").arg(m_cases));

        // A refusal is no failure for the program (its status line stays readable), but it
        // is told apart, so an HTTP sender learns that nothing was taken.
        QCOMPARE(ledgerwell.process(db->connectionString(), 28000, sender, log, datagram),
                 outcome == "written" ? SC_OK : SC_S_FALSE);
        const LedgerwellCounterSet counters = ledgerwell.counters();
        ledgerwell.unload();

        QCOMPARE(counters.datagramsReceived, quint64(1));
        QCOMPARE(counters.datagramsUnknownSender, quint64(outcome == "sender"));
        QCOMPARE(counters.datagramsWrongSecret, quint64(outcome == "secret"));
        const bool written = outcome == "written";
        QCOMPARE(db->count("Logs"), qint64(written));
        QCOMPARE(db->count("Scores"), qint64(written));
        QList<QStringList> servers;
        if (written)
            servers << QStringList{sender.section(QLatin1Char(':'), -1), "1"};
        QCOMPARE(db->rows("SELECT Server_Port, Packet_Number FROM Servers"), servers);
    }

    void refusalsAreNotedOncePerSender()
    {
        TEST_DATABASE(db, Engine::Sqlite, m_dir.path());
        InstalledLedgerwell ledgerwell(nextFolder(), "[28000]\nallow = 203.0.113.7\n");
        QVERIFY2(ledgerwell.error().isEmpty(), qPrintable(ledgerwell.error()));
        const QString log = m_dir.filePath(QStringLiteral("refusals.log"));
        const QList<QPair<QString, int>> senders = {
            {"203.0.113.9:27015", 5}, {"203.0.113.10:27015", 3}, {"203.0.113.9:27016", 2}};
        for (const auto &[sender, datagrams] : senders) {
            for (int i = 0; i < datagrams; ++i)
                ledgerwell.process(db->connectionString(), 28000, sender, log, Framed::hl1(Line));
        }
        ledgerwell.process(db->connectionString(), 28000, "203.0.113.7:27015", log,
                           Framed::hl1(Line));
        QCOMPARE(ledgerwell.counters().datagramsUnknownSender, quint64(10));
        ledgerwell.unload();

        const QString text = readFile(log);
        for (const auto &[sender, datagrams] : senders)
            QCOMPARE(text.count("refused a datagram from " + sender +
                                " on port 28000: the "
                                "sender is not on the port's allow-list"),
                     1);
        QCOMPARE(text.count("refused a datagram"), senders.size());
        QCOMPARE(db->count("Logs"), qint64(1));
    }

    // The note that a port takes every sender comes once per log file and port, whether
    // there is no file or only no section for the port.
    void portsWithoutRulesAreNotedOncePerLogFile_data()
    {
        QTest::addColumn<QByteArray>("ini");
        addRow("no file", NoFile);
        addRow("sections for other ports only", QByteArray("[27000]\nallow = 203.0.113.7\n"));
    }
    void portsWithoutRulesAreNotedOncePerLogFile()
    {
        QFETCH(QByteArray, ini);
        TEST_DATABASE(db, Engine::Sqlite, m_dir.path());
        InstalledLedgerwell ledgerwell(nextFolder(), ini);
        QVERIFY2(ledgerwell.error().isEmpty(), qPrintable(ledgerwell.error()));
        const QString first = m_dir.filePath(QStringLiteral("open_a_%1.log").arg(m_cases));
        const QString second = m_dir.filePath(QStringLiteral("open_b_%1.log").arg(m_cases));
        for (int i = 0; i < 3; ++i) {
            for (const int port : {28000, 28001})
                ledgerwell.process(db->connectionString(), port, "203.0.113.9:27015", first,
                                   Framed::hl1(Line));
        }
        ledgerwell.process(db->connectionString(), 28000, "203.0.113.9:27015", second,
                           Framed::hl1(Line));
        ledgerwell.unload();

        const QString open = " takes datagrams from every sender: no allow-list or secret is "
                             "set for it";
        QCOMPARE(readFile(first).count("port 28000" + open), 1);
        QCOMPARE(readFile(first).count("port 28001" + open), 1);
        QCOMPARE(readFile(second).count("port 28000" + open), 1);
        QCOMPARE(readFile(second).count(open), 1);
        QCOMPARE(db->count("Logs"), qint64(7));
    }

    void badRulesAreReportedWithTheirLine_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QString>("closed"); // in the note on the port
        addRow("an allow entry that is no address",
               QByteArray("; trusted servers\n[28000]\nallow = 203.0.113.7, gameserver.example\n"),
               "Ledgerwell.ini line 3: allow: \"gameserver.example\" is not an IP address (names "
               "are not looked up); port 28000 takes no datagrams until this is fixed.",
               "Ledgerwell.ini is fixed: line 3: allow: ");
        addRow("a section header without ]", QByteArray("[28000]\nallow = 203.0.113.7\n[default\n"),
               "Ledgerwell.ini line 3: a section header must end with ]; every port takes no "
               "datagrams until this is fixed.",
               "Ledgerwell.ini is fixed: line 3: a section header must end with ]");
        addRow("a folder in its place", FolderInstead,
               "Ledgerwell.ini: the file cannot be read: Is a directory; every port takes no "
               "datagrams until this is fixed.",
               "Ledgerwell.ini is fixed: the file cannot be read: ");
    }
    void badRulesAreReportedWithTheirLine()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, problem);
        QFETCH(QString, closed);
        TEST_DATABASE(db, Engine::Sqlite, m_dir.path());
        InstalledLedgerwell ledgerwell(nextFolder(), ini);
        QVERIFY2(ledgerwell.error().isEmpty(), qPrintable(ledgerwell.error()));
        const QString log = m_dir.filePath(QStringLiteral("bad_%1.log").arg(m_cases));
        for (int i = 0; i < 2; ++i)
            ledgerwell.process(db->connectionString(), 28000, "203.0.113.7:27015", log,
                               Framed::hl1(Line));
        QCOMPARE(ledgerwell.counters().datagramsUnknownSender, quint64(2));
        ledgerwell.unload();

        const QString text = readFile(log);
        QVERIFY2(text.count(problem) == 1, qPrintable(text));
        QVERIFY2(text.count(closed) == 1, qPrintable(text));
        QCOMPARE(db->count("Logs"), qint64(0));
    }

private:
    QString nextFolder() { return m_dir.filePath(QStringLiteral("program_%1").arg(++m_cases)); }

    QTemporaryDir m_dir;
    int m_cases = 0;
};

VARNOCK_TEST_MAIN(TestLedgerwellTrust)
#include "tst_ledgerwell_trust.moc"
