#include "EditingBench.h"
#include "TestMain.h"

#include "editing/AddConnection.h"

#include <memory>

namespace {

const QByteArray FirstLine = "Port=28000,Database=Provider=SQLite;Data Source=/x.db,Logon=False,"
                             "Log=/x.log\r\n";

} // namespace

// Tools, Add against real sockets, database files and the connections file.
class TestAddConnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(EditingBench::registerRecordingComponent()); }

    void init()
    {
        m = std::make_unique<EditingBench>();
        QVERIFY(writeFile(m->cfgPath(), FirstLine + "\r\n   \r\n"));
    }
    void cleanup() { m.reset(); }

    void appendsTheConnectionLine()
    {
        const quint16 port = freePort();
        const QString database = m->newDatabase(QStringLiteral("d.db"));
        const QString log = m->dir.filePath(QStringLiteral("server.log"));
        m->op.valueReplies = {QString::number(port)};
        m->op.dataLinkReplies = {std::optional<QString>(database)};
        m->op.selectReplies = {QStringLiteral("False")};
        m->op.logFileReplies = {log};
        // The socket is bound before the database is chosen.
        quint16 boundDuringDataLink = 0;
        m->op.whileOpen = [&](const QString &dialog) {
            if (dialog == QLatin1String("DataLink") && m->state.udpPeerB.element(1))
                boundDuringDataLink = m->state.udpPeerB.element(1)->LocalPort();
        };

        addConnection(m->context);

        QCOMPARE(m->op.shown, QStringList({"SingleValueDialog", "DataLink", "SingleSelectDialog",
                                           "CommonDialog1"}));
        QCOMPARE(m->op.valueRequests.first().caption, QStringLiteral("Enter Port Number"));
        QCOMPARE(m->op.valueRequests.first().label, QStringLiteral("Port Number"));
        QCOMPARE(m->op.valueRequests.first().text, QString());
        QCOMPARE(m->op.selectRequests.first().caption, QStringLiteral("Enter Logon Check"));
        QCOMPARE(m->op.selectRequests.first().label, QStringLiteral("Require Logon"));
        QCOMPARE(m->op.selectRequests.first().text, QStringLiteral("False"));
        QCOMPARE(m->op.selectEntries.first(), QStringList({"False", "True"}));
        QCOMPARE(m->op.logFileProposals, QStringList{m->dir.filePath("Process.log")});
        QCOMPARE(boundDuringDataLink, port);

        const QByteArray line = "Port=" + QByteArray::number(port) +
                                ",Database=" + database.toUtf8() +
                                ",Logon=False,Log=" + log.toUtf8() + "\r\n";
        QCOMPARE(readFile(m->cfgPath()), FirstLine + "\r\n   \r\n" + line);
        QCOMPARE(readFile(m->backupPath()), FirstLine);

        QCOMPARE(m->state.ListView1.count(), 1);
        const ConnectionRow row = m->state.ListView1.row(0);
        QCOMPARE(row.key, QStringLiteral("con1"));
        QCOMPARE(row.text, QString::number(port));
        QCOMPARE(row.database, database);
        QCOMPARE(row.logon, QStringLiteral("False"));
        QCOMPARE(row.log, log);
        QCOMPARE(m->state.ConnStrings.at(1), database);
        QCOMPARE(m->captions, QStringList{"&Database " + database});
        QCOMPARE(m->state.DlgValue, QStringLiteral("False"));
        QVERIFY(m->op.messages.isEmpty());
        QCOMPARE(tablesOf(database.section('=', -1)).size(), 17);

        const RecordedInstance handed = m->sendAndWait(port, "first datagram");
        QCOMPARE(handed.value("ConnectionString"), database);
        QCOMPARE(handed.value("LogPath"), log);
    }

    void refusedPortsChangeNothingButTheBackup_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        const QString inUse = QStringLiteral("Error: Port Already In Use");
        const QString notSaved = QStringLiteral(" is already in use.\r\nNew connection has not "
                                                "been saved.");
        addRow("another connection's port", "USED", inUse, QStringLiteral("Port USED") + notSaved);
        addRow("not a number", "abc", inUse, "Port 0" + notSaved);
        addRow("empty", "", inUse, "Port 0" + notSaved);
        addRow("beyond 32 bits", "99999999999", QStringLiteral("Error: Invalid Port Number"),
               QStringLiteral("Error # 6:Overflow (\"99999999999\" is no port number)\r\n"
                              "New connection has not been saved."));
        addRow("closed by its frame", "<frame>", QString(), QString());
    }
    void refusedPortsChangeNothingButTheBackup()
    {
        QFETCH(QString, reply);
        QFETCH(QString, title);
        QFETCH(QString, text);
        const quint16 used = freePort();
        m->addConnection(1, used, QStringLiteral("Provider=SQLite;Data Source=/a.db"));
        reply.replace(QLatin1String("USED"), QString::number(used));
        text.replace(QLatin1String("USED"), QString::number(used));
        if (reply != QLatin1String("<frame>"))
            m->op.valueReplies = {reply};
        const QByteArray cfg = readFile(m->cfgPath());

        addConnection(m->context);

        QCOMPARE(m->op.titles(), title.isEmpty() ? QStringList() : QStringList{title});
        if (!title.isEmpty())
            QCOMPARE(m->op.messages.first().text, text);
        QCOMPARE(m->op.shown.first(), QStringLiteral("SingleValueDialog"));
        QCOMPARE(m->op.shown.size(), title.isEmpty() ? 1 : 2);
        QCOMPARE(m->state.ListView1.count(), 1);
        QCOMPARE(m->state.udpPeerB.indexes(), QList<int>({0, 1}));
        QCOMPARE(readFile(m->cfgPath()), cfg);
        QCOMPARE(readFile(m->backupPath()), FirstLine);
    }

    void cancelledDataLinkLeavesTheBoundPlaceholderRow()
    {
        const quint16 port = freePort();
        m->op.valueReplies = {QString::number(port)};
        const QByteArray cfg = readFile(m->cfgPath());

        addConnection(m->context);

        QCOMPARE(m->op.shown, QStringList({"SingleValueDialog", "DataLink"}));
        const ConnectionRow row = m->state.ListView1.row(0);
        QCOMPARE(row.key, QStringLiteral("con1"));
        QCOMPARE(row.text, QString::number(port));
        QCOMPARE(row.database, "Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" +
                                   m->state.DefaultAppPath + "/test.mdb");
        QCOMPARE(row.logon, QStringLiteral("False"));
        QCOMPARE(row.log, m->dir.filePath("Process.log"));
        QCOMPARE(m->state.ConnStrings.at(1), QString());
        QCOMPARE(m->state.udpPeerB.element(1)->LocalPort(), port);
        QCOMPARE(readFile(m->cfgPath()), cfg);
        QVERIFY(m->captions.isEmpty());

        const RecordedInstance handed = m->sendAndWait(port, "to the new port");
        QCOMPARE(handed.value("ConnectionString"), QString());
        QCOMPARE(handed.value("LogPath"), row.log);
    }

    void databaseFailureKeepsTheRowAndClosesItsSocket_data()
    {
        QTest::addColumn<bool>("dialogFails");
        QTest::addColumn<QString>("error");
        addRow("database file missing", false, "Error # -2147467259:Could not find file");
        addRow("Data Link dialog failed", true, "Error # 3706:Provider cannot be found.");
    }
    void databaseFailureKeepsTheRowAndClosesItsSocket()
    {
        QFETCH(bool, dialogFails);
        QFETCH(QString, error);
        const quint16 port = freePort();
        const QString missing = QStringLiteral("Provider=SQLite;Data Source=") +
                                m->dir.filePath(QStringLiteral("missing.db"));
        m->op.valueReplies = {QString::number(port)};
        if (dialogFails)
            m->op.dataLinkReplies = {ErrorInfo{3706, QStringLiteral("Provider cannot be found.")}};
        else
            m->op.dataLinkReplies = {std::optional<QString>(missing)};
        const QByteArray cfg = readFile(m->cfgPath());

        addConnection(m->context);

        QCOMPARE(m->op.titles(), QStringList{"Error: Can not connect to database."});
        const QString placeholder =
            "Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + m->state.DefaultAppPath +
            "/test.mdb";
        const QString text = m->op.messages.first().text;
        QVERIFY2(text.startsWith(error), qPrintable(text));
        QVERIFY2(text.contains(" occured for connection to database " + placeholder + " on port " +
                               QString::number(port) + "\r\n"),
                 qPrintable(text));
        QCOMPARE(m->op.shown.size(), 3); // port, Data Link, the message: no logon, no log file
        QCOMPARE(m->state.ListView1.row(0).database, placeholder);
        QCOMPARE(m->state.ConnStrings.at(1), dialogFails ? QString() : missing);
        QVERIFY(m->state.udpPeerB.isLoaded(1));
        QCOMPARE(m->state.udpPeerB.element(1)->State(), 0);
        QCOMPARE(readFile(m->cfgPath()), cfg);
    }

    void socketFailureKeepsTheDefaultRow_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("error");
        addRow("held by another program", "HELD", "Error # 10048:Address in use");
        addRow("beyond 65535", "70000", "Error # 380:Invalid property value");
    }
    void socketFailureKeepsTheDefaultRow()
    {
        QFETCH(QString, reply);
        QFETCH(QString, error);
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress::AnyIPv4, 0));
        reply.replace(QLatin1String("HELD"), QString::number(other.localPort()));
        m->op.valueReplies = {reply};

        addConnection(m->context);

        QCOMPARE(m->op.titles(), QStringList{"Error: Can not connect to database."});
        QVERIFY2(m->op.messages.first().text.startsWith(error),
                 qPrintable(m->op.messages.first().text));
        QVERIFY(m->op.messages.first().text.contains(" occured on port " + reply + "\r\n"));
        QVERIFY(!m->op.shown.contains("DataLink"));
        QCOMPARE(m->state.ListView1.count(), 1);
        QCOMPARE(m->state.ListView1.row(0).text, reply);
        QCOMPARE(m->state.ListView1.row(0).logon, QStringLiteral("False"));
    }

    void numbersBeyondMaxConAreRefused()
    {
        m->state.MaxCon = 2;
        m->state.createConnStrings();
        m->addConnection(1, freePort(), "P=1");
        m->addConnection(2, freePort(), "P=2");
        const quint16 port = freePort();
        m->op.valueReplies = {QString::number(port)};
        const QByteArray cfg = readFile(m->cfgPath());

        addConnection(m->context);

        QCOMPARE(m->op.titles(), QStringList{"Error: Too Many Connections"});
        QVERIFY(m->op.messages.first().text.startsWith(
            QStringLiteral("Port %1 can not be added: this run allows 2 connection(s)").arg(port)));
        QCOMPARE(m->state.ListView1.count(), 2);
        QVERIFY(!m->state.udpPeerB.isLoaded(3));
        QCOMPARE(readFile(m->cfgPath()), cfg);
        QCOMPARE(readFile(m->backupPath()), FirstLine);
    }

    void failedAppendIsReportedAndTheConnectionStays()
    {
        const quint16 port = freePort();
        m->op.valueReplies = {QString::number(port)};
        m->op.dataLinkReplies = {std::optional<QString>(m->newDatabase("f.db"))};
        // The file can not be read any more by the time the line is added.
        m->op.whileOpen = [&](const QString &dialog) {
            if (dialog == QLatin1String("CommonDialog1")) {
                QFile::remove(m->cfgPath());
                QDir().mkdir(m->cfgPath());
            }
        };

        addConnection(m->context);

        QCOMPARE(m->op.titles(), QStringList{"Error: Can not save connections"});
        QVERIFY2(m->op.messages.first().text.contains(m->cfgPath()),
                 qPrintable(m->op.messages.first().text));
        QVERIFY(m->op.messages.first().text.endsWith(
            "The new connection stays in the list and is written to the connections file with "
            "the others at the next save."));
        QCOMPARE(m->state.ListView1.count(), 1);
        QCOMPARE(m->state.udpPeerB.element(1)->LocalPort(), port);
    }

    void cancelInADatabasePromptEndsTheProgram()
    {
        const QString database = m->newDatabase(QStringLiteral("busy.db"), ";Busy Timeout=10");
        SqlConnection holder; // another writer, so creating the tables finds the file locked
        QVERIFY(holder.Open(database));
        QVERIFY(holder.BeginTrans());
        QVERIFY(holder.Execute(QStringLiteral("Create Table Held (Record INTEGER)")));
        m->op.valueReplies = {QString::number(freePort())};
        m->op.dataLinkReplies = {std::optional<QString>(database)};
        m->op.answers = {OperatorInteraction::Answer::Cancel};
        const QByteArray cfg = readFile(m->cfgPath());

        addConnection(m->context);

        QCOMPARE(m->endings, 1);
        QCOMPARE(m->op.shown,
                 QStringList({"SingleValueDialog", "DataLink", "message Record is Locked"}));
        QVERIFY(m->op.messages.first().text.startsWith("Database is temporarily locked"));
        QCOMPARE(readFile(m->cfgPath()), cfg);
    }

private:
    std::unique_ptr<EditingBench> m;
};

VARNOCK_TEST_MAIN(TestAddConnection)
#include "tst_addconnection.moc"
