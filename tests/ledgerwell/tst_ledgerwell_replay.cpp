#include "LedgerwellHarness.h"
#include "TestMain.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Rows = QList<QStringList>;
using Counts = QList<qint64>;

// source_match.log in 29 datagrams (lines 1-15 framed "R", 16-28 with a log secret, the
// last three in one plain datagram):
// Cvars 11: 2 server cvars, 3 names, 2 addresses, 2 roles, say, a disconnect reason.
// Players 3 ([U:1:n] ids and a LAN player known by name); Teams 3 (Unassigned, Red,
// Blue); Games_Players_Teams 6 (each player was Unassigned first); Scores 15 (3 of them
// teams joined); Types 13.
// Logs 29; Logs_Games 25 (all but the four datagrams before Started map).
const Counts SourceCounts = {11, 1, 2, 1, 9, 6, 29, 28, 1, 3, 15, 1, 2, 1, 3, 13, 4};

} // namespace

// Log datagrams through real UDP sockets into the program's intake, scored by the real
// Ledgerwell.so into real SQLite files and PostgreSQL databases.
class TestLedgerwellReplay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_program = std::make_unique<ProgramUnderTest>();
        QVERIFY2(m_program->registrationError().isEmpty(),
                 qPrintable(m_program->registrationError()));
        m_program->state().MaxCon = 200; // every case gets a connection of its own
        m_program->state().createConnStrings();
    }

    void cleanupTestCase() { m_program.reset(); }

    void fixturesFillTheTables_data()
    {
        QTest::addColumn<Engine>("engine");
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<Counts>("expected");
        for (const Engine engine : {Engine::Sqlite, Engine::Postgres}) {
            addRow(qPrintable(engineName(engine) + "/hl1"), engine, QStringLiteral("hl1_match.log"),
                   Hl1Counts);
            addRow(qPrintable(engineName(engine) + "/source"), engine,
                   QStringLiteral("source_match.log"), SourceCounts);
        }
    }
    void fixturesFillTheTables()
    {
        QFETCH(Engine, engine);
        QFETCH(QString, fixture);
        QFETCH(Counts, expected);
        TEST_DATABASE(db, engine, m_dir.path());
        const LedgerwellCounterSet before = ledgerwellCounters();
        QVERIFY(replay(*db, fixture == QLatin1String("hl1_match.log")));
        QCOMPARE(m_program->intake().dropped(), quint64(0));
        QCOMPARE(db->counts(), expected);
        const LedgerwellCounterSet after = ledgerwellCounters();
        QCOMPARE(after.datagramsRejected, before.datagramsRejected);
        QCOMPARE(after.linesRejected, before.linesRejected);
        // Records are 1, 2, 3 ... in every table.
        for (const QString &table : statisticsTableNames())
            QCOMPARE(db->value("SELECT COUNT(DISTINCT Record) FROM " + table).toLongLong(),
                     db->count(table));
    }

    void malformedDatagramsAreCountedAndNoted_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("outcome"); // rejected, latin1, lineRejected
        QTest::addColumn<QString>("note");
        const QByteArray t = "L 03/14/2026 - 20:00:40: ";
        addRow("empty", QByteArray(), "rejected", "empty datagram");
        addRow("text without a newline", QByteArray(300, 'a'), "rejected", "no valid");
        addRow("10,000-character name",
               Framed::hl1(t + "\"" + QByteArray(10000, 'N') +
                           "<9><STEAM_0:0:9><CT>\" killed "
                           "\"Bob<3><STEAM_0:0:2002><TERRORIST>\" with \"m4a1\""),
               "rejected", "longer than 4096");
        addRow("invalid UTF-8 in a name",
               Framed::hl1(t + "\"Al\xC3\x28ice<2><STEAM_0:1:1001><CT>\" say \"hi\xFF\""), "latin1",
               "");
        addRow("relay with a bad line",
               QByteArray(t + "World triggered \"Relay_Check\"\n" + t + "\"broken\n"),
               "lineRejected", "not understood (unreadable player token)");
    }
    void malformedDatagramsAreCountedAndNoted()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, outcome);
        QFETCH(QString, note);
        TEST_DATABASE(db, Engine::Sqlite, m_dir.path());
        const QString log = m_dir.filePath(QStringLiteral("malformed_%1.log").arg(++m_cases));
        const quint16 port = connect(db->connectionString(), log);
        GameServer server;
        QVERIFY(server.sendCommitted(
            Framed::hl1("L 03/14/2026 - 20:00:00: Started map \"de_dust2\" (CRC \"1\")"), port));
        const Counts countsBefore = db->counts();

        const LedgerwellCounterSet before = ledgerwellCounters();
        QVERIFY(server.sendCommitted(datagram, port));
        const LedgerwellCounterSet after = ledgerwellCounters();
        QCOMPARE(m_program->intake().dropped(), quint64(0));
        QTRY_VERIFY2(readFile(log).contains(note), qPrintable(readFile(log)));
        if (outcome == QLatin1String("rejected")) {
            QCOMPARE(after.datagramsRejected - before.datagramsRejected, quint64(1));
            // Archived and counted all the same: one more Logs row, of the open game.
            Counts archived = countsBefore;
            archived[6] += 1;
            archived[7] += 1;
            QCOMPARE(db->counts(), archived);
            QCOMPARE(db->value("SELECT Packet_Number FROM Servers"), QStringLiteral("2"));
        } else if (outcome == QLatin1String("latin1")) {
            QCOMPARE(after.linesRepaired - before.linesRepaired, quint64(1));
            QCOMPARE(db->value("SELECT Val FROM Cvars WHERE Cvar = 'name'"),
                     QString::fromUtf8("Al\xC3\x83(ice"));
            QCOMPARE(db->value("SELECT Val FROM Cvars WHERE Cvar = 'say'"),
                     QString::fromUtf8("hi\xC3\xBF"));
        } else {
            QCOMPARE(after.linesRejected - before.linesRejected, quint64(1));
            QCOMPARE(after.datagramsRejected, before.datagramsRejected);
            QCOMPARE(db->value("SELECT COUNT(*) FROM Scores s JOIN Types t ON t.Record = "
                               "s.Type WHERE t.Type = 'Relay_Check'"),
                     QStringLiteral("1"));
        }
    }

    void rawModeDecidesLogsAndRawLines_data()
    {
        QTest::addColumn<int>("rawMode");
        addRow("off", 0);
        addRow("any other value is on", 5);
    }
    void rawModeDecidesLogsAndRawLines()
    {
        QFETCH(int, rawMode);
        TEST_DATABASE(db, Engine::Sqlite, m_dir.path());
        const QString log = m_dir.filePath(QStringLiteral("raw_%1.log").arg(++m_cases));
        m_program->state().RawLogging = qint16(rawMode);
        QVERIFY(replay(*db, true, log));
        m_program->state().RawLogging = 1;

        const QList<QByteArray> lines = fixtureLines(QStringLiteral("hl1_match.log"));
        QCOMPARE(db->count("Logs"), rawMode ? qint64(lines.size()) : qint64(0));
        QCOMPARE(db->count("Scores"), qint64(22));
        if (rawMode) {
            QCOMPARE(db->value("SELECT Log_Data FROM Logs WHERE Record = 8"),
                     QString::fromLatin1("x" + Framed::hl1(lines.at(7)).toHex()));
            QTRY_COMPARE(rawLines(log).toUtf8(), lines.join('\n') + '\n');
        } else {
            QCOMPARE(rawLines(log), QString()); // flushed with the commits, had it been written
        }
    }

    void unusableSettingsAreReportedInTheStatusLine_data()
    {
        QTest::addColumn<QString>("connectionString");
        QTest::addColumn<QString>("logPath");
        QTest::addColumn<QString>("reason");
        const QString folder = m_dir.path();
        const QString log = folder + "/unusable.log";
        addRow("missing SQLite file", "Provider=SQLite;Data Source=" + folder + "/missing.db", log,
               "missing.db does not exist; the program never creates one");
        addRow("log file in a missing folder", "", folder + "/no/such/folder/Process.log",
               "cannot be written");
        addRow("no PostgreSQL server on the port",
               "Provider=PostgreSQL;Data Source=127.0.0.1:1;Initial Catalog=stats", log,
               "cannot be opened");
    }
    void unusableSettingsAreReportedInTheStatusLine()
    {
        QFETCH(QString, connectionString);
        QFETCH(QString, logPath);
        QFETCH(QString, reason);
        TEST_DATABASE(db, Engine::Sqlite, m_dir.path());
        const quint16 port = connect(
            connectionString.isEmpty() ? db->connectionString() : connectionString, logPath);
        GameServer server;
        const quint64 dropped = m_program->intake().dropped();
        const LedgerwellCounterSet before = ledgerwellCounters();
        // The component's writer finds out that the database cannot be opened; datagrams
        // that come once it has are refused.
        QDeadlineTimer deadline(20000);
        quint64 sent = 0;
        while (m_program->intake().dropped() == dropped && !deadline.hasExpired()) {
            QVERIFY(
                server.send(Framed::hl1("L 03/14/2026 - 20:00:00: World triggered \"x\""), port));
            ++sent;
            QTest::qWait(50);
        }
        const QString caption = m_program->state().Label1.caption();
        QVERIFY2(caption.contains(reason) && caption.contains("the datagram was dropped"),
                 qPrintable(caption));
        const quint64 refused = m_program->intake().dropped() - dropped;
        QCOMPARE(ledgerwellCounters().datagramsRefused - before.datagramsRefused, refused);
        QCOMPARE(db->count("Servers"), qint64(0));
        // Those taken before the failure was known are kept at the stop, not lost.
        QCOMPARE(m_program->finishComponent(), qint64(sent - refused));
    }

    void missingTableIsNotedAndTheOthersAreWritten()
    {
        TEST_DATABASE(db, Engine::Sqlite, m_dir.path(),
                      {QStringLiteral("Weapons"), QStringLiteral("Logs_Games")});
        const QString log = m_dir.filePath(QStringLiteral("missing_table.log"));
        const LedgerwellCounterSet before = ledgerwellCounters();
        QVERIFY(replay(*db, true, log));
        QCOMPARE(db->count("Scores"), qint64(22));
        QCOMPARE(db->count("Logs"), qint64(53));
        QCOMPARE(ledgerwellCounters().rowsDropped - before.rowsDropped, quint64(5 + 52));
        QTRY_VERIFY(readFile(log).contains("The table Weapons is missing"));
        QCOMPARE(readFile(log).count("The table Logs_Games is missing"), 1);
    }

    void aBurstSharesFewCommits_data() { addEngineRows(); }
    void aBurstSharesFewCommits()
    {
        QFETCH(Engine, engine);
        TEST_DATABASE(db, engine, m_dir.path());
        const quint16 port = connect(db->connectionString());
        GameServer server;
        const LedgerwellCounterSet before = ledgerwellCounters();
        const int burst = 5000;
        for (int i = 0; i < burst; ++i) {
            const QByteArray line = QByteArray("L 03/14/2026 - 20:00:00: World triggered \"t") +
                                    QByteArray::number(i % 7) + "\"";
            QVERIFY(server.send(Framed::hl1(line), port));
        }
        QVERIFY(waitUntilCommitted(before, burst));
        const LedgerwellCounterSet after = ledgerwellCounters();
        QCOMPARE(db->count("Scores"), qint64(burst));
        QCOMPARE(db->count("Logs"), qint64(burst));
        QCOMPARE(db->value("SELECT MAX(Record) FROM Logs"), QString::number(burst));
        QCOMPARE(db->value("SELECT Packet_Number FROM Servers"), QString::number(burst));
        QCOMPARE(db->value("SELECT COUNT(*) FROM Scores s JOIN Types t ON t.Record = s.Type "
                           "WHERE t.Type = 't3'"),
                 QString::number(burst / 7));
        QVERIFY2(after.commits - before.commits < quint64(burst / 10),
                 qPrintable(QString::number(after.commits - before.commits)));
        // The rows the library says it wrote are the rows the database holds.
        qint64 rows = 0;
        for (const char *own : {"Commits", "Kills", "Results", "Weapon_Stats", "Details"})
            rows += db->count(QStringLiteral("Ledgerwell_") + own);
        for (const qint64 count : db->counts())
            rows += count;
        QCOMPARE(after.rowsWritten - before.rowsWritten, quint64(rows));
    }

private:
    quint16 connect(const QString &connectionString, const QString &logPath = QString())
    {
        const int n = ++m_connections;
        const quint16 port = m_program->addConnection(n, connectionString, logPath);
        if (!port)
            QTest::qFail("No port could be bound", __FILE__, __LINE__);
        return port;
    }

    // One fixture from a game server of its own into a new connection to db (source_match.log
    // as described above); true once every datagram is committed.
    bool replay(const TestDatabase &db, bool hl1, const QString &log = QString())
    {
        GameServer server;
        const quint16 port = connect(db.connectionString(), log);
        const LedgerwellCounterSet before = ledgerwellCounters();
        const QList<QByteArray> lines = fixtureLines(hl1 ? "hl1_match.log" : "source_match.log");
        if (hl1)
            return server.sendHl1(lines, port) && waitUntilCommitted(before, lines.size());
        for (qsizetype i = 0; i < lines.size() - 3; ++i)
            server.send(i < 15 ? Framed::source(lines.at(i))
                               : Framed::secret(lines.at(i), "3141592"),
                        port);
        server.send(lines.mid(lines.size() - 3).join('\n') + '\n', port);
        return waitUntilCommitted(before, lines.size() - 2);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<ProgramUnderTest> m_program;
    int m_connections = 0;
    int m_cases = 0;
};

VARNOCK_TEST_MAIN(TestLedgerwellReplay)
#include "tst_ledgerwell_replay.moc"
