#include "PgTestDatabase.h"
#include "ReceiverProcess.h"
#include "TestMain.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include <memory>

namespace {

constexpr int Kills = 40000;

// New players now and then, so later transactions refer to rows made in earlier ones.
QByteArray killLine(int k)
{
    const auto player = [](int p, const char *team) {
        return "\"P" + QByteArray::number(p) + "<" + QByteArray::number(p + 2) +
               "><STEAM_0:1:" + QByteArray::number(1000 + p) + "><" + team + ">\"";
    };
    const int base = k / 500 * 10;
    return "\xFF\xFF\xFF\xFFRL 03/20/2026 - 20:00:00: " + player(base + k % 10, "CT") + " killed " +
           player(base + (k + 1) % 10, "TERRORIST") + " with \"ak47\"\n";
}

// The map starts while the database takes rows: the component has opened it when the
// outage begins.
bool startMap(quint16 port, QSqlDatabase db)
{
    QUdpSocket sender;
    sender.writeDatagram("\xFF\xFF\xFF\xFFRL 03/20/2026 - 20:00:00: Started map \"de_dust2\"\n",
                         QHostAddress::LocalHost, port);
    return QTest::qWaitFor(
        [&] {
            QSqlQuery query(db);
            return query.exec("SELECT COUNT(*) FROM Games") && query.next() &&
                   query.value(0).toInt() == 1;
        },
        30000);
}

// The kill lines the program has archived in its log so far; each look reads only what was
// added since the last one.
class KillCount
{
public:
    explicit KillCount(QString log)
        : m_log(std::move(log))
    {
    }

    int now()
    {
        QFile file(m_log);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(m_offset))
            return m_kills;
        const QByteArray added = file.readAll();
        const qsizetype whole = added.lastIndexOf('\n') + 1; // a line still being written waits
        m_kills += int(added.left(whole).count("\" killed \""));
        m_offset += whole;
        return m_kills;
    }

    // Waits, by the clock, until the log holds this many kills.
    bool reaches(int kills, int ms)
    {
        QDeadlineTimer deadline(ms);
        while (now() < kills) {
            if (deadline.hasExpired())
                return false;
            QTest::qWait(20);
        }
        return true;
    }

private:
    QString m_log;
    qint64 m_offset = 0;
    int m_kills = 0;
};

// Sends the kills a thousand at a time and lets the program archive each thousand before
// the next, so no datagram is lost to a full socket buffer however slow the build or busy
// the machine.
bool sendKills(quint16 port, KillCount &archived, QString &why, int kills = Kills)
{
    QUdpSocket sender;
    sender.bind(QHostAddress::LocalHost, 0);
    for (int k = 0; k < kills; ++k) {
        sender.writeDatagram(killLine(k), QHostAddress::LocalHost, port);
        if (k % 50 == 49)
            QThread::msleep(5);
        if (k % 1000 == 999 && !archived.reaches(k + 1, 60000)) {
            why = QStringLiteral("the log holds %1 of the first %2 kills after a minute")
                      .arg(archived.now())
                      .arg(k + 1);
            return false;
        }
    }
    return true;
}

qint64 number(QSqlDatabase db, const QString &sql)
{
    QSqlQuery query(db);
    return query.exec(sql) && query.next() ? query.value(0).toLongLong() : -1;
}

// A connection of the test's own to an SQLite file, which another program may hold locked.
QSqlDatabase sqliteFile(const QString &file)
{
    QFile(file).open(QIODevice::Append);
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", file);
    db.setDatabaseName(file);
    db.open();
    return db;
}

// A PostgreSQL server of the test's own, which it can stop and start again.
class OwnPgServer
{
public:
    OwnPgServer()
        : m_parent(QDir::tempPath() + "/varnock-pg-XXXXXX")
        , m_folder(m_parent.filePath("cluster"))
    {
        // As root the server runs as another user, who must reach the folder.
        QFile::setPermissions(m_parent.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                   QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                                   QFileDevice::ExeOther);
        QProcess start;
        start.start(script(), {"start", m_folder});
        if (!start.waitForFinished(120000) || start.exitCode() != 0) {
            m_error = QString::fromLocal8Bit(start.readAllStandardError());
            return;
        }
        for (const QByteArray &line : start.readAllStandardOutput().split('\n')) {
            const QByteArray assignment = line.mid(line.indexOf(' ') + 1);
            const qsizetype equals = assignment.indexOf('=');
            if (line.startsWith("export ") && equals > 0)
                qputenv(assignment.left(equals).constData(), assignment.mid(equals + 1));
        }
        m_running = true;
    }
    ~OwnPgServer()
    {
        if (m_running || QDir(m_folder).exists())
            QProcess::execute(script(), {"stop", m_folder});
    }
    bool running() const { return m_running; }
    QString error() const { return m_error; }
    bool pause() { return run("pause"); }
    bool resume() { return run("resume"); }

private:
    static QString script() { return QStringLiteral(SOURCE_DIR "/scripts/pg-test-server"); }
    bool run(const QString &command)
    {
        return QProcess::execute(script(), {command, m_folder}) == 0;
    }

    QTemporaryDir m_parent;
    QString m_folder;
    QString m_error;
    bool m_running = false;
};

} // namespace

// A database that takes no rows: the other connections go on, and a clean stop frees the
// ports, waits a while, keeps what is left in a file beside the log and ends in failure; the
// next start writes it: every kill is stored exactly once.
class TestUnloadKeep : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void anUnlockedDatabaseIsNotHeldUpByALockedOne()
    {
        const QString lockedFile = m_dir.filePath("locked.mdb"),
                      freeFile = m_dir.filePath("free.mdb");
        QSqlDatabase locked = sqliteFile(lockedFile), free = sqliteFile(freeFile);
        Receiver receiver(m_dir.filePath("two"), LEDGERWELL_PATH);
        QVERIFY2(receiver.start({sqlite(lockedFile), sqlite(freeFile)}),
                 qPrintable(receiver.errors()));
        // As a long maintenance job does; in WAL mode, as Ledgerwell leaves it, the file stays
        // readable.
        QSqlQuery lock(locked);
        QVERIFY(lock.exec("PRAGMA journal_mode=WAL") && lock.exec("BEGIN EXCLUSIVE"));

        QUdpSocket sender;
        sender.writeDatagram(killLine(1), QHostAddress::LocalHost, receiver.ports().at(0));
        QTRY_VERIFY(receiver.program().out().contains(
            QStringLiteral("Log recieved on port %1 ").arg(receiver.ports().at(0)))); // taken first
        sender.writeDatagram(killLine(2), QHostAddress::LocalHost, receiver.ports().at(1));
        // Far below the minute the locked file's first datagram once held every port.
        QTRY_COMPARE_WITH_TIMEOUT(number(free, "SELECT COUNT(*) FROM Logs"), qint64(1), 20000);

        // What came for the locked file is written once the lock goes.
        QVERIFY(lock.exec("COMMIT"));
        QTRY_COMPARE_WITH_TIMEOUT(number(locked, "SELECT COUNT(*) FROM Scores"), qint64(1), 30000);
        QCOMPARE(receiver.stopWithCode(), 0);
    }

    // refusal: how the database takes no rows at the stop. A PostgreSQL statement that waits
    // for another session's lock is cancelled when the stop's deadline comes. A kept file
    // damaged before the next start loses the transaction its bad byte is in, not the ones
    // after it; the file is kept aside, and the run says so and ends in failure.
    void aStopKeepsWhatTheDatabaseDidNotTake_data()
    {
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<int>("kills");
        QTest::addColumn<bool>("damaged");
        QTest::newRow("SQLite locked") << "sqlite lock" << Kills << false;
        QTest::newRow("SQLite locked and the kept file damaged") << "sqlite lock" << 6000 << true;
        QTest::newRow("a PostgreSQL table locked") << "postgres lock" << 10 << false;
        QTest::newRow("PostgreSQL down") << "postgres down" << Kills << false;
    }
    void aStopKeepsWhatTheDatabaseDidNotTake()
    {
        QFETCH(QString, refusal);
        QFETCH(int, kills);
        QFETCH(bool, damaged);
        const QString tag = QTest::currentDataTag(); // a file name: no comma
        std::unique_ptr<OwnPgServer> server;
        std::unique_ptr<PgTestDatabase> pg;
        QSqlDatabase db;
        QString connection;
        if (refusal.startsWith("postgres")) {
            server = std::make_unique<OwnPgServer>();
            if (!server->running())
                QSKIP(qPrintable("no PostgreSQL server of the test's own: " + server->error()));
            pg = std::make_unique<PgTestDatabase>();
            QVERIFY2(pg->ready(), qPrintable(pg->error()));
            db = pg->direct();
            connection = pg->connString();
        } else {
            db = sqliteFile(m_dir.filePath(tag + ".mdb"));
            connection = sqlite(db.databaseName());
        }
        Receiver receiver(m_dir.filePath(tag), LEDGERWELL_PATH, environment());
        QVERIFY2(receiver.start({connection}), qPrintable(receiver.errors()));
        const quint16 port = receiver.ports().first();
        QVERIFY(startMap(port, db));
        QSqlQuery lock(db);
        if (refusal == "sqlite lock")
            QVERIFY(lock.exec("BEGIN EXCLUSIVE"));
        else if (refusal == "postgres lock")
            QVERIFY(lock.exec("BEGIN") && lock.exec("LOCK TABLE Scores IN ACCESS EXCLUSIVE MODE"));
        else
            QVERIFY(server->pause());
        KillCount archived(receiver.log());
        QString why;
        QVERIFY2(sendKills(port, archived, why, kills), qPrintable(why));
        if (refusal == "postgres lock")
            QTRY_COMPARE(number(db, "SELECT COUNT(*) FROM pg_stat_activity WHERE application_name "
                                    "= 'Ledgerwell' AND wait_event_type = 'Lock'"),
                         qint64(1));

        QProcess &program = receiver.program().process();
        ::kill(pid_t(program.processId()), SIGTERM);
        // The port is free while the program still waits for the database.
        QTRY_VERIFY_WITH_TIMEOUT(!portTaken(port) || program.state() == QProcess::NotRunning,
                                 20000);
        QCOMPARE(program.state(), QProcess::Running);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitCode(), 3);
        QVERIFY2(receiver.errors().contains("are kept in"), qPrintable(receiver.errors()));
        // One note for the outage, not one per attempt.
        QVERIFY2(readLog(receiver.log()).count("could not be written before") == 1,
                 qPrintable(readLog(receiver.log()).right(3000)));
        if (refusal == "postgres down") {
            QVERIFY(server->resume());
            db.close();
            QVERIFY(db.open());
        } else {
            QVERIFY(lock.exec(refusal == "sqlite lock" ? "COMMIT" : "ROLLBACK"));
        }
        QCOMPARE(number(db, "SELECT COUNT(*) FROM Scores"), qint64(0));
        const QStringList kept = keptFiles(receiver);
        QCOMPARE(kept.size(), 1);
        const QString keptPath = receiver.programFolder() + "/" + kept.first();
        QByteArray bytes;
        if (damaged) {
            QFile keptFile(keptPath);
            QVERIFY(keptFile.open(QIODevice::ReadWrite));
            bytes = keptFile.readAll();
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x5A);
            QVERIFY(keptFile.seek(0) && keptFile.write(bytes) == bytes.size());
        }

        QVERIFY2(receiver.start({connection}), qPrintable(receiver.errors()));
        // The rows kept are written when the component next opens the database: with the
        // first datagram for it.
        QUdpSocket().writeDatagram("wake", QHostAddress::LocalHost, port);
        if (damaged) {
            QTRY_VERIFY_WITH_TIMEOUT(receiver.errors().contains("damaged"), 60000);
            QCOMPARE(receiver.stopWithCode(), 3);
            QVERIFY2(receiver.errors().contains("kept as " + keptPath + ".damaged"),
                     qPrintable(receiver.errors()));
            // One transaction (at most a thousand datagrams) lost, every other one written.
            const qint64 scores = number(db, "SELECT COUNT(*) FROM Scores");
            QVERIFY2(scores >= kills - 1000 && scores < kills, qPrintable(QString::number(scores)));
            QVERIFY(!QFile::exists(keptPath));
            QCOMPARE(QFileInfo(keptPath + ".damaged").size(), bytes.size());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(readLog(receiver.log()).contains("kept from an earlier run"),
                                 60000);
        QCOMPARE(receiver.stopWithCode(), 0);
        QCOMPARE(number(db, "SELECT COUNT(*) FROM Scores"), qint64(kills));
        QCOMPARE(number(db, "SELECT COUNT(*) - COUNT(DISTINCT Record) FROM Scores"), qint64(0));
        QCOMPARE(number(db, "SELECT COUNT(DISTINCT Player) FROM Players"),
                 number(db, "SELECT COUNT(*) FROM Players"));
        QVERIFY(keptFiles(receiver).isEmpty());
    }

    // The connection ends while the writer copies a transaction's rows: that transaction is
    // written again once the server takes rows, and every kill is stored once.
    void postgresLostWhileCopying_data()
    {
        QTest::addColumn<bool>("serverStops");
        QTest::newRow("session ended") << false;
        QTest::newRow("server stopped") << true;
    }
    void postgresLostWhileCopying()
    {
        QFETCH(bool, serverStops);
        OwnPgServer server;
        if (!server.running())
            QSKIP(qPrintable("no PostgreSQL server of the test's own: " + server.error()));
        PgTestDatabase pg;
        QVERIFY2(pg.ready(), qPrintable(pg.error()));
        Receiver receiver(m_dir.filePath(QString("copy-") + QTest::currentDataTag()),
                          LEDGERWELL_PATH, environment());
        QVERIFY2(receiver.start({pg.connString()}), qPrintable(receiver.errors()));
        QSqlDatabase db = pg.direct();
        QVERIFY(startMap(receiver.ports().first(), db));
        // Every statement that writes kills waits a moment at its start, so a copy is under way
        // long enough to be seen (a copy alone may be over between two looks).
        QSqlQuery slow(db);
        QVERIFY(slow.exec("CREATE FUNCTION pause_a_moment() RETURNS trigger AS $$ BEGIN "
                          "PERFORM pg_sleep(0.05); RETURN NULL; END $$ LANGUAGE plpgsql"));
        QVERIFY(slow.exec("CREATE TRIGGER pause_a_moment BEFORE INSERT ON Scores FOR EACH "
                          "STATEMENT EXECUTE FUNCTION pause_a_moment()"));

        // Looked for from the test's own session while the kills are sent.
        QString copying;
        bool resumed = !serverStops;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            QSqlQuery query(db);
            if (!copying.isEmpty() ||
                !query.exec("SELECT pid, query FROM pg_stat_activity WHERE state = 'active' AND "
                            "application_name = 'Ledgerwell' AND query LIKE 'COPY %'") ||
                !query.next())
                return;
            copying = query.value(1).toString();
            if (!serverStops) {
                query.exec("SELECT pg_terminate_backend(" + query.value(0).toString() + ")");
            } else if (server.pause()) {
                QTimer::singleShot(1000, &watch, [&] { resumed = server.resume(); });
            }
        });
        watch.start(1);
        KillCount archived(receiver.log());
        QString why;
        QVERIFY2(sendKills(receiver.ports().first(), archived, why), qPrintable(why));
        QVERIFY2(!copying.isEmpty(), "the writer was never seen copying");
        watch.stop();
        QTRY_VERIFY_WITH_TIMEOUT(resumed, 30000);
        QFile log(receiver.log());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY2(log.readAll().contains("The connection to the database was lost"),
                 qPrintable(copying));

        db.close();
        QVERIFY(db.open());
        QTRY_COMPARE_WITH_TIMEOUT(number(db, "SELECT COUNT(*) FROM Scores"), qint64(Kills), 120000);
        QCOMPARE(receiver.stopWithCode(), 0);
        QCOMPARE(number(db, "SELECT COUNT(*) - COUNT(DISTINCT Record) FROM Scores"), qint64(0));
        QCOMPARE(number(db, "SELECT COUNT(*) FROM Logs"), qint64(Kills + 1));
        QCOMPARE(number(db, "SELECT COUNT(*) - COUNT(DISTINCT Record) FROM Logs"), qint64(0));
    }

private:
    static QProcessEnvironment environment()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LEDGERWELL_UNLOAD_WAIT", "2");
        return environment;
    }
    static QString sqlite(const QString &file) { return "Provider=SQLite;Data Source=" + file; }
    // The notes at the end of the log, after the raw lines.
    static QString readLog(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        file.seek(std::max<qint64>(0, file.size() - 16384));
        return QString::fromUtf8(file.readAll());
    }
    static QStringList keptFiles(const Receiver &receiver)
    {
        return QDir(receiver.programFolder()).entryList({"Ledgerwell-unwritten-*"}, QDir::Files);
    }

    QTemporaryDir m_dir;
};

VARNOCK_TEST_MAIN(TestUnloadKeep)
#include "tst_unloadkeep.moc"
