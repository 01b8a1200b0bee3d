#include "FreePort.h"
#include "RecordingLog.h"
#include "StartupFixture.h"
#include "TestMain.h"

#include "intake/DatagramIntake.h"
#include "platform/SqlConnection.h"
#include "settings/RegistrySettings.h"
#include "shell/ClosingSave.h"
#include "shell/Main.h"
#include "shell/MainForm.h"
#include "shell/WindowCommands.h"
#include "state/MainModule.h"

#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <memory>

using namespace StartupFixture;

namespace {

QByteArray aDbLine(quint16 port, const char *logon, const QByteArray &log)
{
    return connectionLine(port, appPath() + "/a.db", logon, log);
}

} // namespace

// Start-up and the closing save in this process: the real window (offscreen), real files,
// a real SQLite database, real sockets; the operator's answers come from a script.
class TestStartup : public QObject
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
        m_op = ScriptedOperator();
        m_state = std::make_unique<MainModule>();
        m_form = std::make_unique<MainForm>(*m_state);
    }
    void cleanup()
    {
        m_form.reset();
        m_state.reset();
    }

    void firstStartWritesTheDefaultConnection()
    {
        QDir().mkpath(appPath());
        QVERIFY(writeFile(appPath() + "/test.mdb", QByteArray()));
        QCOMPARE(start(), StartResult::Running);

        const QString database =
            "Provider=Microsoft.Jet.OLEDB.3.51;Persist Security Info=False;Data Source=" +
            appPath() + "/test.mdb";
        QCOMPARE(
            readFile(appPath() + "/connections.cfg"),
            ("Port=28000,Database=" + database + ",Logon=False,Log=" + appPath() + "/Process.log")
                    .toUtf8() +
                "\r\n");
        QCOMPARE(m_state->ListView1.count(), 1);
        const ConnectionRow row = m_state->ListView1.row(0);
        QCOMPARE(row.key, QStringLiteral("con1"));
        QCOMPARE(row.text, QStringLiteral("28000"));
        QCOMPARE(row.database,
                 "Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + appPath() + "/test.mdb");
        QCOMPARE(row.logon, QStringLiteral("False"));
        QCOMPARE(m_state->ConnStrings.at(1), database);
        QVERIFY(m_op.messages.isEmpty());
        QCOMPARE(m_state->udpPeerB.element(1)->LocalPort(), quint16(28000));
        QCOMPARE(tablesOf(appPath() + "/test.mdb").size(), 17);

        // The layout values are in the store at once, the geometry from the screen size.
        const double screenHeight = m_form->screenHeightTwips();
        QCOMPARE(ReadRegValue("Varnock_UDP", "WindowTop"),
                 QString::number(qint64(screenHeight) / 3));
        QCOMPARE(ReadRegValue("Varnock_UDP", "WindowHeight"),
                 QString::number(qint64(screenHeight) / 6));
        for (int column = 1; column <= 4; ++column)
            QVERIFY(ReadRegValue("Varnock_UDP", QStringLiteral("Column(%1)Width").arg(column)) !=
                    NoValue());
        QVERIFY(qAbs(m_form->topTwips() - double(qint64(screenHeight) / 3)) < 15); // within a pixel
        QVERIFY(m_form->isVisible());
        QVERIFY(m_state->Label1.caption().contains("28000"));
    }

    void startNeverCreatesADatabaseFile()
    {
        QCOMPARE(start(), StartResult::Running);
        QCOMPARE(m_op.messages.size(), 1);
        QCOMPARE(m_op.messages.first().title,
                 QStringLiteral("Error: Can not connect to database."));
        QCOMPARE(
            m_op.messages.first().text,
            "Error # -2147467259:Could not find file '" + appPath() +
                "/test.mdb'. occured for connection to database "
                "Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" +
                appPath() +
                "/test.mdb on port 28000\r\nPort will be disabled until database connection is "
                "restored.\r\nBest solution is to delete the connection to port 28000 and create a "
                "new "
                "connection for that port.");
        QVERIFY(!m_state->udpPeerB.isLoaded(1));
        QVERIFY(!QFile::exists(appPath() + "/test.mdb"));
        QCOMPARE(m_state->ListView1.count(), 1); // the row and its line stay
        QVERIFY(QFile::exists(appPath() + "/connections.cfg"));
    }

    void startupFailuresEndWithoutSaving_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("storedLeft"); // WindowLeft in the store; null: none
        QTest::addColumn<QString>("reason");     // after the program folder, in parentheses
        addRow("logout beyond 16 bits", "logout=70000", QString(),
               "Overflow: the value 70000 of logout= is out of range");
        addRow("maxcon beyond 32 bits", "maxcon=1e12", QString(),
               "Overflow: the value 1e12 of maxcon= is out of range");
        addRow("maxcon beyond the socket elements", "maxcon=32768", QString(),
               "Overflow: the value 32768 of maxcon= is out of range; at most 32767 connections "
               "can have a socket element each");
        addRow("stored window value no number", QString(), "wide",
               "Type mismatch: the stored window value WindowLeft is \"wide\", not a number");
    }
    void startupFailuresEndWithoutSaving()
    {
        QFETCH(QString, commandLine);
        QFETCH(QString, storedLeft);
        QFETCH(QString, reason);
        if (!storedLeft.isNull())
            SaveRegValue("Varnock_UDP", "WindowLeft", storedLeft);
        QCOMPARE(start(commandLine), StartResult::Failed);
        QCOMPARE(m_op.titles(), QStringList{"Error: Can not locate Application Path"});
        const QStringList lines = m_op.messages.first().text.split("\r\n");
        QCOMPARE(lines.size(), 3);
        // The reason once, in one pair of parentheses.
        QCOMPARE(lines.at(0),
                 "Can't locate program path " + appPath() + " (" + reason + ") for ActiveX dll.");
        QVERIFY(lines.at(1).startsWith(
            "Uninstall then re-install this program...it that doesn't work then email "));
        // The contact is the README's Help section, which must be there.
        QVERIFY2(lines.at(1).endsWith("(see the Help section of README.md)"), qPrintable(lines[1]));
        QVERIFY(readFile(QStringLiteral(VARNOCK_SOURCE_DIR "/README.md")).contains("\n## Help\n"));
        QCOMPARE(lines.at(2), QStringLiteral("Program is terminating."));
        QVERIFY(!QFile::exists(appPath() + "/connections.cfg"));
        if (storedLeft.isNull()) // the options are read before any layout value
            QVERIFY(!QFile::exists(settingsFile()));
        QVERIFY(!m_form->isVisible());
    }

    void missingParentFolderIsAStartupFailure()
    {
        QTemporaryDir dir;
        // A registered library whose folder does not exist: the program folder can not be made.
        QVERIFY(ClassRegistry()
                    .registerClass("Ledgerwell.Score_Class", "{X}",
                                   dir.filePath("gone/deeper/Ledgerwell.so"))
                    .ok());
        QCOMPARE(start(), StartResult::Failed);
        QCOMPARE(m_op.titles(), QStringList{"Error: Can not locate Application Path"});
        QVERIFY(m_op.messages.first().text.contains(dir.filePath("gone/deeper")));
    }

    void repeatedPortFailsOnlyItsSecondRow()
    {
        const quint16 port = freePort();
        QVERIFY(writeFile(appPath() + "/a.db", QByteArray()));
        const QByteArray line = aDbLine(port, "False", "/tmp/a.log");
        QVERIFY(writeFile(appPath() + "/connections.cfg", line + line));
        ScoringComponentFactory factory;
        DatagramIntake intake(*m_state, factory);
        QCOMPARE(start(), StartResult::Running);
        QCOMPARE(m_state->ListView1.count(), 2);
        QCOMPARE(m_op.titles(), QStringList{"Error: Can not connect to database."});
        QCOMPARE(
            m_op.messages.first().text,
            QStringLiteral(
                "Error # 10048:Address in use occured on port %1\r\nPort will be disabled until "
                "problem is corrected.\r\nBest solution is to delete the connection to port %1 and "
                "create a new connection for that port.")
                .arg(port));
        QCOMPARE(m_state->udpPeerB.element(1)->LocalPort(), port);
        QCOMPARE(m_state->udpPeerB.element(2)->LocalPort(), quint16(0));

        QUdpSocket sender;
        sender.writeDatagram("hello", QHostAddress::LocalHost, port);
        QTRY_COMPARE(intake.handedOver(), quint64(1));
    }

    void declinedLogonsAndTooManyLinesAreLeftOut()
    {
        QVERIFY(writeFile(appPath() + "/a.db", QByteArray()));
        QVERIFY(writeFile(appPath() + "/connections.cfg", aDbLine(0, "False", "/tmp/1.log") +
                                                              aDbLine(0, "True", "/tmp/2.log") +
                                                              aDbLine(0, "False", "/tmp/3.log") +
                                                              aDbLine(7, "True", "/tmp/4.log")));
        m_op.loginSteps = {{QString(), QString(), true}}; // Cancel in the logon dialog
        QCOMPARE(start("maxcon=2"), StartResult::Running);

        QCOMPARE(m_op.loginRequests.size(), 1);
        QCOMPARE(m_op.loginRequests.first().label1, QStringLiteral("Port: 0"));
        QCOMPARE(m_op.loginRequests.first().label2, "Database: " + appPath() + "/a.db");
        // Line 2 was declined, line 3 took number 2, line 4 is beyond maxcon=2: refused before
        // its logon is asked for.
        QCOMPARE(m_state->ListView1.count(), 2);
        QCOMPARE(m_state->ListView1.row(0).log, QStringLiteral("/tmp/1.log"));
        QCOMPARE(m_state->ListView1.row(1).key, QStringLiteral("con2"));
        QCOMPARE(m_state->ListView1.row(1).log, QStringLiteral("/tmp/3.log"));
        QCOMPARE(m_op.titles(), QStringList{"Error: Too Many Connections"});
        QVERIFY2(
            m_op.messages.first().text.startsWith("The connections on port 7 were not started"),
            qPrintable(m_op.messages.first().text));
        // Port 0: the element is loaded but receives nothing.
        QVERIFY(m_state->udpPeerB.isLoaded(2));
        QCOMPARE(m_state->udpPeerB.element(2)->LocalPort(), quint16(0));
    }

    void emptyFileGivesEmptyListAndZeroWidths()
    {
        QVERIFY(writeFile(appPath() + "/connections.cfg", "Port=,Database=,Logon=,Log=\r\n"));
        QCOMPARE(start(), StartResult::Running);
        QCOMPARE(m_state->ListView1.count(), 0);
        QCOMPARE(ReadRegValue("Varnock_UDP", "Column(1)Width"), QStringLiteral("0"));
        QCOMPARE(ReadRegValue("Varnock_UDP", "Column(2)Width"), QStringLiteral("0"));
        QCOMPARE(ReadRegValue("Varnock_UDP", "Column(4)Width"), QStringLiteral("0"));
        QVERIFY(ReadRegValue("Varnock_UDP", "Column(3)Width").toDouble() > 0);
    }

    void storedLayoutIsUsed()
    {
        SaveRegValue("Varnock_UDP", "WindowTop", "1500");
        SaveRegValue("Varnock_UDP", "WindowLeft", "3000");
        SaveRegValue("Varnock_UDP", "WindowHeight", "4500");
        SaveRegValue("Varnock_UDP", "WindowWidth", "6000");
        SaveRegValue("Varnock_UDP", "Column(2)Width", "1291.5");
        QVERIFY(writeFile(appPath() + "/connections.cfg", QByteArray()));
        QCOMPARE(start(), StartResult::Running);
        QCOMPARE(m_form->topTwips(), 1500.0);
        QCOMPARE(m_form->leftTwips(), 3000.0);
        QCOMPARE(m_form->heightTwips(), 4500.0);
        QCOMPARE(m_form->widthTwips(), 6000.0);
        QVERIFY(qAbs(m_form->columnWidthTwips(2) - 1291.5) < 15); // one pixel
    }

    void closingSaveChecksBottomAndRight_data()
    {
        QTest::addColumn<int>("topFromBottom"); // twips past the screen's bottom; negative = above
        QTest::addColumn<bool>("eighth");
        addRow("below the bottom", 600, true);
        addRow("exactly at the bottom", 0, false);
    }
    void closingSaveChecksBottomAndRight()
    {
        QFETCH(int, topFromBottom);
        QFETCH(bool, eighth);
        const QByteArray old = "Port=7,Database=X,Logon=False,Log=L\r\n";
        QVERIFY(writeFile(appPath() + "/connections.cfg", old));
        QCOMPARE(start(), StartResult::Running);
        QVERIFY(m_state->ListView1.remove("con1"));
        const double screen = m_form->screenHeightTwips();
        m_form->setTopTwips(screen + topFromBottom);
        m_form->setLeftTwips(-450);
        closingSave(*m_state, *m_form, m_op);
        const QString expected =
            eighth ? QString::number(qint64(screen) / 8) : QString::number(m_form->topTwips());
        QCOMPARE(ReadRegValue("Varnock_UDP", "WindowTop"), expected);
        QCOMPARE(ReadRegValue("Varnock_UDP", "WindowLeft"), QString::number(m_form->leftTwips()));
        QVERIFY(m_form->leftTwips() < 0);
        // The list emptied: the file is written empty, the old one kept as its backup.
        QCOMPARE(readFile(appPath() + "/connections.cfg"), QByteArray());
        QCOMPARE(readFile(appPath() + "/connections.old"), old);
    }

    void menuCommandsSaveOnlyWhenAsked()
    {
        const quint16 oldPort = freePort();
        const quint16 newPort = freePort();
        QVERIFY(writeFile(appPath() + "/a.db", QByteArray()));
        const QByteArray file = aDbLine(oldPort, "False", "/tmp/a.log");
        QVERIFY(writeFile(appPath() + "/connections.cfg", file));
        QCOMPARE(start(), StartResult::Running);
        int exits = 0;
        int ends = 0;
        WindowCommands commands(
            *m_form, *m_state, m_op, newSqlConnection, [&] { ++ends; }, [&] { ++exits; });

        // Change the port through the Tools menu, then Exit: the file keeps the old port.
        m_form->ListView1()->setCurrentIndex(m_state->ListView1.index(0, 0));
        m_op.valueReplies = {QString::number(newPort)};
        m_form->ToolsPort()->trigger();
        QCOMPARE(m_state->ListView1.row(0).text, QString::number(newPort));
        m_form->FileExit()->trigger();
        QCOMPARE(exits, 1);
        QCOMPARE(readFile(appPath() + "/connections.cfg"), file);

        // Save writes the list; closing the window saves the list and the layout.
        m_form->FileSave()->trigger();
        QVERIFY(readFile(appPath() + "/connections.cfg")
                    .startsWith("Port=" + QByteArray::number(newPort)));
        QCOMPARE(readFile(appPath() + "/connections.old"), file);
        SaveRegValue("Varnock_UDP", "WindowWidth", "1");
        QVERIFY(m_form->close());
        QCOMPARE(ReadRegValue("Varnock_UDP", "WindowWidth"), QString::number(m_form->widthTwips()));
        QCOMPARE(ends, 0);
    }

private:
    StartResult start(const QString &commandLine = QString())
    {
        return Main(*m_state, MainServices{m_op, ClassRegistry(), newSqlConnection, m_form.get()},
                    commandLine);
    }

    ScriptedOperator m_op;
    std::unique_ptr<MainModule> m_state;
    std::unique_ptr<MainForm> m_form;
};

VARNOCK_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
