#include "LedgerwellHarness.h"
#include "TestMain.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// What happens to open transactions when the library or the process ends and when the
// database goes away: nothing that was taken may be lost.
class TestLedgerwellLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void committedWhenTheLibraryEnds_data()
    {
        QTest::addColumn<Engine>("engine");
        QTest::addColumn<QString>("mode");
        for (const Engine engine : {Engine::Sqlite, Engine::Postgres}) {
            addRow(qPrintable(engineName(engine) + "/process end"), engine, "exit");
            addRow(qPrintable(engineName(engine) + "/unload"), engine, "unload");
        }
    }
    void committedWhenTheLibraryEnds()
    {
        QFETCH(Engine, engine);
        QFETCH(QString, mode);
        TEST_DATABASE(db, engine, m_dir.path());
        // The probe ends right after its last datagram, long before a transaction is 50 ms
        // old: the rows are there only if the end of the library committed them.
        const QString log = m_dir.filePath("probe_" + engineName(engine) + "_" + mode + ".log");
        QVERIFY(runProbe(db->connectionString(), log, mode));
        QCOMPARE(db->counts(), Hl1Counts);
        QCOMPARE(db->value("SELECT Packet_Number FROM Servers"), QStringLiteral("53"));
        QCOMPARE(rawLines(log).count(QLatin1Char('\n')), 53); // every raw line, flushed
    }

    void aSecondRunGoesOnWhereTheFirstStopped()
    {
        TEST_DATABASE(db, Engine::Sqlite, m_dir.path());
        const QString log = m_dir.filePath("restart.log");
        QVERIFY(runProbe(db->connectionString(), log, "exit"));
        QVERIFY(runProbe(db->connectionString(), log, "exit"));
        // Names, cvars, maps and the server are found again; games and events are new.
        QCOMPARE(db->count("Players"), qint64(4));
        QCOMPARE(db->count("Cvars"), qint64(15));
        QCOMPARE(db->count("Maps"), qint64(2));
        QCOMPARE(db->count("Servers_Cvars"), qint64(4));
        QCOMPARE(db->count("Games"), qint64(4));
        QCOMPARE(db->count("Scores"), qint64(44));
        QCOMPARE(db->count("Logs"), qint64(106));
        QCOMPARE(db->rows("SELECT Record, Packet_Number FROM Servers"),
                 (QList<QStringList>{{"1", "106"}}));
        for (const QString &table : statisticsTableNames())
            QCOMPARE(db->value("SELECT MAX(Record) FROM " + table).toLongLong(), db->count(table));
    }

    // Names let go as soon as they are made are found again in the database, over several
    // transactions of one game: no row refers to a row that is not there, and no player gets
    // a second row. With the caches at their size, a player met again on the next map is
    // linked to that game too. A row the database refuses is the only one left out.
    void playersAreFoundAgainAcrossTransactionsAndMaps_data()
    {
        QTest::addColumn<QString>("nameCache");
        QTest::addColumn<int>("rounds"); // of three kills each, on each map
        QTest::addColumn<int>("maps");
        QTest::addColumn<int>("refused"); // the Record of a Scores row a trigger refuses
        QTest::newRow("two names a cache") << "2" << 700 << 1 << 0;
        QTest::newRow("next map") << QString() << 2 << 2 << 0;
        QTest::newRow("a refused row") << QString() << 40 << 1 << 50;
    }
    void playersAreFoundAgainAcrossTransactionsAndMaps()
    {
        QFETCH(QString, nameCache);
        QFETCH(int, rounds);
        QFETCH(int, maps);
        QFETCH(int, refused);
        TEST_DATABASE(db, Engine::Sqlite, m_dir.path());
        QString error;
        QVERIFY2(!refused || db->execute(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON "
                                                        "Scores WHEN NEW.Record = %1 BEGIN SELECT "
                                                        "RAISE(ABORT, 'no such kill'); END")
                                             .arg(refused),
                                         error),
                 qPrintable(error));
        const QList<QByteArray> match = fixtureLines(QStringLiteral("hl1_match.log"));
        QByteArray lines = match.mid(0, 20).join('\n') + '\n';
        for (int map = 0; map < maps; ++map) {
            if (map > 0)
                lines += match.at(7) + '\n'; // Started map: the next game, no new log file
            for (int i = 0; i < rounds; ++i)
                lines += match.mid(20, 3).join('\n') + '\n';
        }
        QFile file(m_dir.filePath("long_game.log"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(lines) == lines.size());
        file.close();
        const QString log = m_dir.filePath("long_game_raw.log");
        QFile::remove(log);
        QVERIFY(runProbe(db->connectionString(), log, "exit", nameCache, file.fileName()));
        QCOMPARE(db->count("Players"), qint64(4));
        // 4 teams joined and a round started
        QCOMPARE(db->count("Scores"), qint64(5 + 3 * rounds * maps - (refused ? 1 : 0)));
        QCOMPARE(
            db->value(QStringLiteral("SELECT COUNT(*) FROM Scores WHERE Record = %1").arg(refused)),
            QStringLiteral("0"));
        QCOMPARE(readFile(log).contains(QStringLiteral("of Scores was not written: no such kill")),
                 refused != 0);
        const QString players = QStringLiteral("(SELECT Record FROM Players UNION SELECT 0)");
        QCOMPARE(db->value("SELECT COUNT(*) FROM Scores WHERE Killer NOT IN " + players +
                           " OR Victim NOT IN " + players),
                 QStringLiteral("0"));
        // Each of the four players has his team in every game.
        QCOMPARE(db->value("SELECT COUNT(DISTINCT Game || ' ' || Player) FROM Games_Players_Teams"),
                 QString::number(4 * maps));
    }

    void aLostPostgresConnectionIsReopenedAndReplayed()
    {
        TEST_DATABASE(db, Engine::Postgres, m_dir.path());
        const QString log = m_dir.filePath("lost.log");
        ONE_CONNECTION(program, port, *db, log);
        GameServer server;
        const QList<QByteArray> lines = fixtureLines("hl1_match.log");
        const LedgerwellCounterSet before = ledgerwellCounters();
        QVERIFY(server.sendHl1(lines.mid(0, 20), port));
        QVERIFY(waitUntilCommitted(before, 20));

        const QString backends =
            db->value("SELECT COUNT(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE "
                      "application_name = 'Ledgerwell' AND datname = current_database()");
        QCOMPARE(backends, QStringLiteral("1"));

        QVERIFY(server.sendHl1(lines.mid(20), port));
        QVERIFY(waitUntilCommitted(before, lines.size()));
        QCOMPARE(program.intake().dropped(), quint64(0));
        const LedgerwellCounterSet after = ledgerwellCounters();
        QVERIFY(after.reconnects > before.reconnects);
        QVERIFY(after.commitFailures > before.commitFailures);
        QCOMPARE(db->counts(), Hl1Counts);
        QTRY_VERIFY(readFile(log).contains("The connection to the database was lost"));
        QTRY_VERIFY(readFile(log).contains("The database takes rows again"));
    }

    // Someone else wrote a row with the Record the component would have used next: the
    // component numbers its rows inside the transaction, after it, and loses nothing.
    void aStrangersRowIsRespected_data() { addEngineRows(); }
    void aStrangersRowIsRespected()
    {
        QFETCH(Engine, engine);
        TEST_DATABASE(db, engine, m_dir.path());
        ONE_CONNECTION(program, port, *db,
                       m_dir.filePath("stranger_" + engineName(engine) + ".log"));
        GameServer server;
        QVERIFY(server.sendCommitted(Framed::hl1("L 03/14/2026 - 19:59:00: Log file started (file "
                                                 "\"x\") (game \"cstrike\") (version \"48/1/1\")"),
                                     port));
        QString error;
        QVERIFY2(db->execute("INSERT INTO Scores VALUES (1, 0, 0, 0, 0, 99, 0)", error),
                 qPrintable(error));
        QVERIFY2(db->execute("INSERT INTO Players VALUES (1000, 'STEAM_0:1:1001', NULL)", error),
                 qPrintable(error));

        const LedgerwellCounterSet before = ledgerwellCounters();
        const QList<QByteArray> lines = fixtureLines("hl1_match.log");
        QVERIFY(server.sendHl1(lines, port));
        QVERIFY(waitUntilCommitted(before, lines.size()));
        QCOMPARE(ledgerwellCounters().rowsDropped - before.rowsDropped, quint64(0));
        QCOMPARE(db->count("Scores"), qint64(23)); // the stranger's and all 22
        QCOMPARE(db->value("SELECT Score FROM Scores WHERE Record = 1"), QStringLiteral("99"));
        QCOMPARE(db->count("Logs"), qint64(54));
        // Alice's row was there already: it is hers (4 kills, a defusal, 2 teams joined), not a
        // second one.
        QCOMPARE(db->count("Players"), qint64(4));
        QCOMPARE(db->value("SELECT COUNT(*) FROM Scores WHERE Killer = 1000"), QStringLiteral("7"));
    }

private:
    // Runs the probe with hl1_match.log or the given lines, the name caches at their size or
    // the given one; true when it ended cleanly.
    bool runProbe(const QString &connectionString, const QString &log, const QString &mode,
                  const QString &nameCache = {},
                  const QString &lines = QStringLiteral(LEDGERWELL_FIXTURES "/hl1_match.log"))
    {
        QProcess probe;
        if (!nameCache.isEmpty()) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("LEDGERWELL_NAME_CACHE"), nameCache);
            probe.setProcessEnvironment(environment);
        }
        probe.start(QStringLiteral(LEDGERWELL_PROBE_PATH),
                    {QStringLiteral(LEDGERWELL_PATH), connectionString, log, mode, lines});
        if (!probe.waitForFinished(60000)) {
            qWarning("the probe did not finish");
            probe.kill();
            return false;
        }
        if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0) {
            qWarning("the probe failed (%s, exit code %d): %s%s",
                     probe.exitStatus() == QProcess::CrashExit ? "crashed" : "ended",
                     probe.exitCode(), probe.readAllStandardOutput().constData(),
                     probe.readAllStandardError().constData());
            return false;
        }
        return true;
    }

    QTemporaryDir m_dir;
};

VARNOCK_TEST_MAIN(TestLedgerwellLifecycle)
#include "tst_ledgerwell_lifecycle.moc"
