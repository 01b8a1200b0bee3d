#include "EditingBench.h"
#include "TestMain.h"

#include "editing/AddConnection.h"
#include "editing/ChangeDatabase.h"
#include "editing/ChangeLogFile.h"
#include "editing/ChangeLogon.h"
#include "editing/ChangePort.h"
#include "editing/DeleteConnection.h"

#include <memory>

using Command = void (*)(const EditingContext &);
Q_DECLARE_METATYPE(Command)

// Tools, Port, Database, Logon, Log and Delete on the selected connection, against real
// sockets and database files.
class TestChangeConnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(EditingBench::registerRecordingComponent()); }

    // Two connections: con1 (selected) on m_port1 and con2 on m_port2; the file holds both.
    void init()
    {
        m = std::make_unique<EditingBench>();
        m_port1 = freePort();
        m_port2 = freePort();
        m_db1 = m->newDatabase(QStringLiteral("one.db"));
        m->addConnection(1, m_port1, m_db1, QStringLiteral("/logs/one.log"));
        m->addConnection(2, m_port2, m->newDatabase(QStringLiteral("two.db")));
        QVERIFY(writeFile(m->cfgPath(), "Port=" + QByteArray::number(m_port1) + ",Database=" +
                                            m_db1.toUtf8() + ",Logon=False,Log=/logs/one.log\r\n"));
        m->selected = QStringLiteral("con1");
    }
    void cleanup() { m.reset(); }

    // The connection stays on its port and keeps receiving there.
    void portRepliesThatChangeNothing_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message"); // how the message starts
        const QString inUse = QStringLiteral("Error: Port Already In Use");
        addRow("its own port", "OWN", inUse, "Port OWN is already in use.\r\n");
        addRow("the other connection's port", "OTHER", inUse, "Port OTHER is already in use.\r\n");
        addRow("not a number", "abc", inUse, "Port 0 is already in use.\r\n");
        addRow("a port another program holds", "HELD", "Error: Can not connect to database.",
               "Error # 10048:Address in use occured on port HELD\r\n");
        addRow("empty", "", "", "");
        addRow("closed by its frame", "<frame>", "", "");
    }
    void portRepliesThatChangeNothing()
    {
        QFETCH(QString, reply);
        QFETCH(QString, title);
        QFETCH(QString, message);
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress::AnyIPv4, 0));
        for (QString *text : {&reply, &message}) {
            text->replace("OWN", QString::number(m_port1));
            text->replace("OTHER", QString::number(m_port2));
            text->replace("HELD", QString::number(other.localPort()));
        }
        if (reply != QLatin1String("<frame>"))
            m->op.valueReplies = {reply};

        changePort(m->context);

        QCOMPARE(m->op.valueRequests.first().caption, QStringLiteral("Modify Port Number"));
        QCOMPARE(m->op.valueRequests.first().label, QStringLiteral("Port Number"));
        QCOMPARE(m->op.valueRequests.first().text, QString::number(m_port1));
        QCOMPARE(m->op.titles(), title.isEmpty() ? QStringList() : QStringList{title});
        if (!title.isEmpty())
            QVERIFY2(m->op.messages.first().text.startsWith(message),
                     qPrintable(m->op.messages.first().text));
        QCOMPARE(m->state.ListView1.row(0).text, QString::number(m_port1));
        QCOMPARE(m->sendAndWait(m_port1, "still here").value("ListenPort"),
                 QString::number(m_port1));
    }

    void newPortReceivesAndTheOldOneDoesNot()
    {
        const quint16 port = freePort();
        m->op.valueReplies = {QString::number(port) + QStringLiteral(".4 and more")};
        const QByteArray cfg = readFile(m->cfgPath());

        changePort(m->context);

        QVERIFY(m->op.messages.isEmpty());
        QCOMPARE(m->state.ListView1.row(0).text, QString::number(port));
        QCOMPARE(m->state.udpPeerB.element(1)->LocalPort(), port);
        QCOMPARE(readFile(m->cfgPath()), cfg);
        QVERIFY(!EditingBench::portHeld(m_port1));
        m->send(m_port1, "to the old port");
        const RecordedInstance handed = m->sendAndWait(port, "to the new port");
        QCOMPARE(m->payloads(), QList<QByteArray>{"to the new port"});
        QCOMPARE(handed.value("ConnectionString"), m_db1);
        QCOMPARE(handed.value("LogPath"), QStringLiteral("/logs/one.log"));
    }

    void unopenableDatabaseNamesTheOldText()
    {
        const QString missing = QStringLiteral("Provider=SQLite;Data Source=") +
                                m->dir.filePath(QStringLiteral("missing.db"));
        m->op.dataLinkReplies = {std::optional<QString>(missing)};

        changeDatabase(m->context);

        QCOMPARE(m->op.titles(), QStringList{"Error: Can not connect to database."});
        QVERIFY2(m->op.messages.first().text.contains(" occured for connection to database " +
                                                      m_db1 + " on port " +
                                                      QString::number(m_port1) + "\r\n"),
                 qPrintable(m->op.messages.first().text));
        QCOMPARE(m->state.ListView1.row(0).database, m_db1);
        QCOMPARE(m->state.ConnStrings.at(1), missing);
        QCOMPARE(m->state.udpPeerB.element(1)->LocalPort(), m_port1);
        QCOMPARE(m->sendAndWait(m_port1, "after the failure").value("ConnectionString"), missing);
    }

    void changedDatabaseIsShownAndTheSocketBoundAgain_data()
    {
        QTest::addColumn<bool>("closedBefore");
        addRow("socket bound", false);
        addRow("socket closed by an Add that failed", true);
    }
    void changedDatabaseIsShownAndTheSocketBoundAgain()
    {
        QFETCH(bool, closedBefore);
        if (closedBefore)
            m->state.udpPeerB.element(1)->Close();
        const QString file = m->dir.filePath(QStringLiteral("new.db"));
        m->newDatabase(QStringLiteral("new.db"));
        const QString chosen = "Provider=SQLite;Persist Security Info=False;User ID=bob;"
                               "User Password=pw;Data Source=" +
                               file;
        m->op.dataLinkReplies = {std::optional<QString>(chosen)};
        const QByteArray cfg = readFile(m->cfgPath());

        changeDatabase(m->context);

        QVERIFY2(m->op.messages.isEmpty(), qPrintable(m->op.messages.value(0).text));
        QCOMPARE(m->state.ListView1.row(0).database,
                 "Provider=SQLite;User ID=bob;Data Source=" + file);
        QCOMPARE(m->state.ConnStrings.at(1), chosen);
        QCOMPARE(tablesOf(file).size(), 17);
        QCOMPARE(m->state.udpPeerB.element(1)->LocalPort(), m_port1);
        QVERIFY(m->captions.isEmpty());
        QCOMPARE(readFile(m->cfgPath()), cfg);
        QCOMPARE(m->sendAndWait(m_port1, "into the new database").value("ConnectionString"),
                 chosen);
    }

    void cancelledDataLinkChangesNothing()
    {
        changeDatabase(m->context);

        QCOMPARE(m->op.shown, QStringList{"DataLink"});
        QCOMPARE(m->state.ListView1.row(0).database, m_db1);
        QCOMPARE(m->state.ConnStrings.at(1), m_db1);
    }

    void logonCheckReplies_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("logon");
        addRow("OK as proposed", "True", "True");
        addRow("typed text is taken", "Yes", "Yes");
        addRow("empty changes nothing", "", "True");
        addRow("closed by its frame changes nothing", "<frame>", "True");
    }
    void logonCheckReplies()
    {
        QFETCH(QString, reply);
        QFETCH(QString, logon);
        m->state.ListView1.setSubItem(0, 2, QStringLiteral("True"));
        if (reply != QLatin1String("<frame>"))
            m->op.selectReplies = {reply};

        changeLogonCheck(m->context);

        QCOMPARE(m->op.selectRequests.first().caption, QStringLiteral("Modify Logon Check"));
        QCOMPARE(m->op.selectRequests.first().label, QStringLiteral("Require Logon"));
        QCOMPARE(m->op.selectRequests.first().text, QStringLiteral("True"));
        QCOMPARE(m->op.selectEntries.first(), QStringList({"False", "True"}));
        QCOMPARE(m->state.ListView1.row(0).logon, logon);
        QVERIFY(m->op.messages.isEmpty());
    }

    void logFileDialogProposesTheRowThenTheLastChoice()
    {
        const QString chosen = m->dir.filePath(QStringLiteral("chosen.log"));
        m->op.logFileReplies = {chosen}; // then cancelled

        changeLogFile(m->context);
        m->selected = QStringLiteral("con2");
        changeLogFile(m->context);

        QCOMPARE(m->op.logFileProposals, QStringList({"/logs/one.log", chosen}));
        QCOMPARE(m->state.ListView1.row(0).log, chosen);
        QCOMPARE(m->state.ListView1.row(1).log, QStringLiteral("/logs/a.log"));
        QCOMPARE(m->sendAndWait(m_port1, "logged").value("LogPath"), chosen);
    }

    void deleteTheMiddleRowThenAdd()
    {
        const quint16 port3 = freePort();
        m->addConnection(3, port3, QStringLiteral("P=3"));
        const QByteArray cfg = readFile(m->cfgPath());
        m->selected = QStringLiteral("con2");

        deleteConnection(m->context);

        QVERIFY(m->op.shown.isEmpty());
        QCOMPARE(m->state.ListView1.count(), 2);
        QCOMPARE(m->state.ListView1.find("con2"), -1);
        QCOMPARE(m->state.ConnStrings.at(2), QString());
        QVERIFY(!m->state.udpPeerB.isLoaded(2));
        QCOMPARE(readFile(m->cfgPath()), cfg);
        QVERIFY(!EditingBench::portHeld(m_port2));
        m->send(m_port2, "to the deleted port");
        m->sendAndWait(port3, "to the third port");
        QCOMPARE(m->payloads(), QList<QByteArray>{"to the third port"});

        const quint16 port = freePort();
        m->op.valueReplies = {QString::number(port)};
        m->op.dataLinkReplies = {std::optional<QString>(m->newDatabase(QStringLiteral("re.db")))};
        addConnection(m->context);
        QCOMPARE(m->state.ListView1.rows().last().key, QStringLiteral("con2"));
        QCOMPARE(m->state.udpPeerB.element(2)->LocalPort(), port);
    }

    void commandsWithoutSelection_data()
    {
        QTest::addColumn<Command>("command");
        addRow("Port", Command(changePort));
        addRow("Database", Command(changeDatabase));
        addRow("Logon", Command(changeLogonCheck));
        addRow("Log", Command(changeLogFile));
        addRow("Delete", Command(deleteConnection));
    }
    void commandsWithoutSelection()
    {
        QFETCH(Command, command);
        m->selected.clear();

        command(m->context);

        QCOMPARE(m->op.shown, QStringList{"message No Connection Selected"});
        QCOMPARE(m->state.ListView1.count(), 2);
        QCOMPARE(m->state.udpPeerB.element(1)->LocalPort(), m_port1);
    }

private:
    std::unique_ptr<EditingBench> m;
    quint16 m_port1 = 0;
    quint16 m_port2 = 0;
    QString m_db1;
};

VARNOCK_TEST_MAIN(TestChangeConnection)
#include "tst_changeconnection.moc"
