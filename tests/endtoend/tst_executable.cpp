#include "FreePort.h"
#include "ProgramProcess.h"
#include "RecordingLog.h"
#include "StartupFixture.h"
#include "TestMain.h"

#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

using namespace StartupFixture;

// The real executable, with a window (offscreen) and headless, as an operator or a service
// manager runs it.
class TestExecutable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QByteArray held = defaultPortHeldBy();
        if (!held.isEmpty())
            QSKIP(held.constData());
    }

    void init()
    {
        QVERIFY(reset());
        m_dir = std::make_unique<QTemporaryDir>();
        m_log = m_dir->filePath("calls.log");
        qputenv("RECORDING_COMPONENT_LOG", m_log.toLocal8Bit());
    }

    void firstStartReceivesOn28000AndStopSignalSaves()
    {
        QDir().mkpath(appPath());
        QVERIFY(writeFile(appPath() + "/test.mdb", QByteArray()));
        ProgramProcess program({});
        QUdpSocket sender;
        // Until start-up has bound the port, datagrams are refused; keep sending.
        QTRY_VERIFY_WITH_TIMEOUT(sendAndSee(sender, 28000, "ping"), 20000);
        QCOMPARE(tablesOf(appPath() + "/test.mdb").size(), 17);
        QVERIFY(!QFile::exists(appPath() + "/connections.old"));

        QVERIFY(program.stop(SIGTERM));
        QCOMPARE(program.process().exitCode(), 0);
        // The closing save ran: the file was rewritten after a backup of the first one.
        QByteArray first = readFile(appPath() + "/connections.old");
        QVERIFY(first.contains("Persist Security Info=False;"));
        QCOMPARE(readFile(appPath() + "/connections.cfg"),
                 first.replace("Persist Security Info=False;", ""));
        QVERIFY(readFile(settingsFile()).contains("WindowTop="));
    }

    void headlessReportsOnStandardErrorAndOtherPortsReceive()
    {
        const quint16 broken = freePort();
        const quint16 working = freePort();
        const quint16 second = freePort();
        QVERIFY(writeFile(appPath() + "/ok.db", QByteArray()));
        QVERIFY(writeFile(appPath() + "/two.db", QByteArray()));
        QVERIFY(writeFile(appPath() + "/connections.cfg",
                          connectionLine(broken, appPath() + "/missing.db") +
                              connectionLine(working, appPath() + "/ok.db") +
                              connectionLine(second, appPath() + "/two.db")));
        ProgramProcess program({"--headless"});
        QTRY_VERIFY_WITH_TIMEOUT(program.out().contains("Varnock_UDP is receiving"), 20000);
        // The text is tst_startup's; here it goes to standard error with plain line ends.
        const QString err = program.err();
        QVERIFY2(err.contains("Error: Can not connect to database.\nError # -2147467259:Could not "
                              "find file '" +
                              appPath() + "/missing.db'.") &&
                     err.contains(QStringLiteral(" on port %1\nPort will be disabled").arg(broken)),
                 qPrintable(err));
        QUdpSocket sender;
        QTRY_VERIFY(sendAndSee(sender, working, "to the working port"));
        QTRY_VERIFY(sendAndSee(sender, second, "to the second port"));
        sender.writeDatagram("lost", QHostAddress::LocalHost, broken);
        QVERIFY(program.stop(SIGTERM));
        for (const RecordedInstance &instance : readRecording(m_log)) {
            QVERIFY(instance.payload() != "lost");
            // Each datagram went with its own connection's database.
            if (instance.payload() == "to the second port")
                QVERIFY(instance.value("ConnectionString").endsWith("/two.db"));
        }
    }

    void headlessWithoutTerminalSkipsLogonAndKeepsTheFile()
    {
        const quint16 asks = freePort();
        const quint16 plain = freePort();
        QVERIFY(writeFile(appPath() + "/ok.db", QByteArray()));
        const QByteArray file = connectionLine(asks, appPath() + "/ok.db", "True") +
                                connectionLine(plain, appPath() + "/ok.db");
        QVERIFY(writeFile(appPath() + "/connections.cfg", file));
        // No display at all: the program chooses to run headless by itself.
        ProgramProcess program({}, ProgramProcess::withoutDisplay());
        QTRY_VERIFY_WITH_TIMEOUT(program.out().contains("Varnock_UDP is receiving"), 20000);
        // One line of its own in a service's journal names the connection and the reason.
        const QStringList reasons = program.err().split('\n').filter("no terminal to ask on");
        QCOMPARE(reasons.size(), 1);
        QVERIFY2(reasons.first().contains("Port: " + QString::number(asks)),
                 qPrintable(reasons.first()));
        QVERIFY(reasons.first().contains("not started"));
        QVERIFY(program.out().contains(QString::number(plain)));
        QVERIFY(!program.out().contains(QString::number(asks)));
        QVERIFY(program.stop(SIGTERM));
        QCOMPARE(program.process().exitCode(), 0);
        QCOMPARE(readFile(appPath() + "/connections.cfg"), file);
        QVERIFY(!QFile::exists(appPath() + "/connections.old"));
        QVERIFY(!QFile::exists(settingsFile()));
    }

    void headlessAsksForTheLogonOnATerminal()
    {
        const quint16 asks = freePort();
        QVERIFY(writeFile(appPath() + "/ok.db", QByteArray()));
        QVERIFY(writeFile(appPath() + "/connections.cfg",
                          connectionLine(asks, appPath() + "/ok.db", "True")));
        ProgramProcess program(ProgramProcess::InTerminal{}, {"--headless"});
        QTRY_VERIFY_WITH_TIMEOUT(program.out().contains("User Name: "), 20000);
        program.process().write("bob\n");
        QTRY_VERIFY_WITH_TIMEOUT(program.out().contains("Password: "), 20000);
        program.process().write("secret\n");
        QTRY_VERIFY_WITH_TIMEOUT(program.out().contains("Varnock_UDP is receiving"), 20000);
        QVERIFY2(program.out().contains(QString::number(asks)), qPrintable(program.out()));
        QVERIFY(!program.out().contains("secret")); // the password is not echoed
        QUdpSocket sender;
        QTRY_VERIFY(sendAndSee(sender, asks, "logged on"));
        QVERIFY(program.stop(SIGTERM));
    }

    void headlessTellsOfASlowComponentOnceOnBothStreams()
    {
        const quint16 port = freePort();
        QVERIFY(writeFile(appPath() + "/ok.db", QByteArray()));
        QVERIFY(
            writeFile(appPath() + "/connections.cfg", connectionLine(port, appPath() + "/ok.db")));
        qputenv("RECORDING_COMPONENT_SLOW_MS", "400");
        ProgramProcess program({"--headless"});
        qunsetenv("RECORDING_COMPONENT_SLOW_MS");
        QTRY_VERIFY_WITH_TIMEOUT(program.out().contains("Varnock_UDP is receiving"), 20000);
        QUdpSocket sender;
        for (const char *payload : {"slow 1", "slow 2"})
            sender.writeDatagram(payload, QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(readRecording(m_log).size(), 2, 20000);
        QVERIFY(program.stop(SIGTERM));
        const QString notice = QStringLiteral("The scoring component took ");
        QCOMPARE(program.out().count(notice), 1);
        QCOMPARE(program.err().count(notice), 1);
    }

    // The reasons are tst_startup's; here, how a headless start that fails ends.
    void headlessStartupFailureExitsWithAnError()
    {
        const QString option = QStringLiteral("logout=70000");
        ProgramProcess program({"--headless", option});
        QVERIFY(program.process().waitForFinished(20000));
        QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.process().exitCode(), 1);
        QVERIFY2(program.err().startsWith(
                     "Error: Can not locate Application Path\nCan't locate program path "),
                 qPrintable(program.err()));
        QVERIFY(program.err().contains(option.section('=', 0, 0) + '='));
        QVERIFY(program.err().contains("Program is terminating."));
        QVERIFY(!QFile::exists(appPath() + "/connections.cfg"));
    }

    // The start-up failure message and the README point here for the command line.
    void helpListsTheCommandLineAndStartsNothing()
    {
        ProgramProcess program({"--help"});
        QVERIFY(program.process().waitForFinished(20000));
        QCOMPARE(program.process().exitCode(), 0);
        for (const char *option : {"maxcon=", "logout=", "cfgfile=", "--headless", "--regserver"})
            QVERIFY2(program.out().contains(QLatin1String(option)), qPrintable(program.out()));
        QVERIFY(program.err().isEmpty());
        QVERIFY(!QFile::exists(appPath() + "/connections.cfg"));
    }

private:
    bool sendAndSee(QUdpSocket &sender, quint16 port, const QByteArray &payload)
    {
        sender.writeDatagram(payload, QHostAddress::LocalHost, port);
        QTest::qWait(50);
        for (const RecordedInstance &instance : readRecording(m_log)) {
            if (instance.payload() == payload)
                return true;
        }
        return false;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_log;
};

VARNOCK_TEST_MAIN(TestExecutable)
#include "tst_executable.moc"
