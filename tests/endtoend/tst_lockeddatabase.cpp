#include "PgTestDatabase.h"
#include "ReceiverProcess.h"
#include "TestMain.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

namespace {

QByteArray killLine(int k)
{
    return "\xFF\xFF\xFF\xFFRL 03/20/2026 - 20:00:00: \"P" + QByteArray::number(k % 5) + "<" +
           QByteArray::number(k % 5 + 2) + "><STEAM_0:1:" + QByteArray::number(k % 5) +
           "><CT>\" killed \"Q<9><STEAM_0:1:99><TERRORIST>\" with \"w" + QByteArray::number(k) +
           "\"\n";
}

// Kill lines as a relay sends them: one datagram, lines without a header.
QByteArray plainKills(int count)
{
    QByteArray lines;
    for (int k = 0; k < count; ++k)
        lines += killLine(k).mid(5); // without the header and its "R"
    return lines;
}

// Whether the program announced a datagram on the port on its status line.
bool announced(Receiver &receiver, quint16 port)
{
    return receiver.program().out().contains(QStringLiteral("Log recieved on port %1 ").arg(port));
}

qint64 number(const QString &file, const QString &sql)
{
    const QString name = "reader:" + file;
    qint64 value = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(file);
        QSqlQuery query(db);
        if (db.open() && query.exec(sql) && query.next())
            value = query.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase(name);
    return value;
}

// Another program's connection holding an SQLite file's write lock, as a long maintenance
// job does. The file is in WAL mode, as Ledgerwell leaves it, so reading it goes on.
class Locker
{
public:
    explicit Locker(const QString &file)
    {
        m_db = QSqlDatabase::addDatabase("QSQLITE", "locker:" + file);
        m_db.setDatabaseName(file);
        QSqlQuery query(m_db);
        m_locked =
            m_db.open() && query.exec("PRAGMA journal_mode=WAL") && query.exec("BEGIN EXCLUSIVE");
    }
    ~Locker()
    {
        release();
        const QString name = m_db.connectionName();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
    bool locked() const { return m_locked; }
    void release()
    {
        if (m_locked)
            QSqlQuery(m_db).exec("COMMIT");
        m_locked = false;
    }

private:
    QSqlDatabase m_db;
    bool m_locked = false;
};

} // namespace

// A database held by another program: the other connections go on, and a stop keeps what
// the locked database did not take and ends within its unload wait.
class TestLockedDatabase : public QObject
{
    Q_OBJECT

private slots:
    void anUnlockedDatabaseIsNotHeldUpByALockedOne()
    {
        const QString locked = emptyFile("locked.mdb"), free = emptyFile("free.mdb");
        Receiver receiver(m_dir.filePath("two"), LEDGERWELL_PATH);
        QVERIFY2(receiver.start({sqlite(locked), sqlite(free)}), qPrintable(receiver.errors()));
        Locker locker(locked);
        QVERIFY(locker.locked());

        QUdpSocket sender;
        sender.writeDatagram(killLine(1), QHostAddress::LocalHost, receiver.ports().at(0));
        QTRY_VERIFY(announced(receiver, receiver.ports().at(0))); // taken first
        sender.writeDatagram(killLine(2), QHostAddress::LocalHost, receiver.ports().at(1));
        // Far below the minute the locked file's first datagram once held every port.
        QTRY_COMPARE_WITH_TIMEOUT(number(free, "SELECT COUNT(*) FROM Logs"), qint64(1), 20000);
        QVERIFY(locker.locked());

        // What came for the locked file is written once the lock goes.
        locker.release();
        QTRY_COMPARE_WITH_TIMEOUT(number(locked, "SELECT COUNT(*) FROM Scores"), qint64(1), 30000);
        QCOMPARE(receiver.stopWithCode(), 0);
    }

    void aStopUnderALockEndsByItsDeadline()
    {
        constexpr int Kills = 50;
        const QString file = emptyFile("stop.mdb");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LEDGERWELL_UNLOAD_WAIT", "2");
        Receiver receiver(m_dir.filePath("stop"), LEDGERWELL_PATH, environment);
        QVERIFY2(receiver.start({sqlite(file)}), qPrintable(receiver.errors()));
        const quint16 port = receiver.ports().first();
        Locker locker(file);
        QVERIFY(locker.locked());
        QUdpSocket sender;
        sender.writeDatagram(plainKills(Kills), QHostAddress::LocalHost, port);
        QTRY_VERIFY(announced(receiver, port)); // taken in, not written

        QProcess &program = receiver.program().process();
        ::kill(pid_t(program.processId()), SIGTERM);
        // The port is free while the program still waits for the database.
        QTRY_VERIFY_WITH_TIMEOUT(!portTaken(port) || program.state() == QProcess::NotRunning,
                                 20000);
        QCOMPARE(program.state(), QProcess::Running);
        QVERIFY(program.waitForFinished(20000));
        QVERIFY(locker.locked());
        QCOMPARE(program.exitCode(), 3);
        QVERIFY2(receiver.errors().contains("are kept in"), qPrintable(receiver.errors()));
        QUdpSocket rebound;
        QVERIFY(rebound.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress));
        rebound.close();

        // The next start writes every kill kept.
        locker.release();
        QVERIFY2(receiver.start({sqlite(file)}), qPrintable(receiver.errors()));
        sender.writeDatagram("wake", QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(number(file, "SELECT COUNT(*) FROM Scores"), qint64(Kills),
                                  30000);
        QCOMPARE(receiver.stopWithCode(), 0);
        QVERIFY(QDir(receiver.programFolder())
                    .entryList({"Ledgerwell-unwritten-*"}, QDir::Files)
                    .isEmpty());
    }

    // A statement that waits for another session's lock is cancelled when the stop's
    // deadline comes.
    void aStopUnderAPostgresLockEndsByItsDeadline()
    {
        PgTestDatabase pg;
        REQUIRE_PG_DATABASE(pg);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LEDGERWELL_UNLOAD_WAIT", "2");
        Receiver receiver(m_dir.filePath("pg"), LEDGERWELL_PATH, environment);
        QVERIFY2(receiver.start({pg.connString()}), qPrintable(receiver.errors()));
        const quint16 port = receiver.ports().first();
        QSqlDatabase db = pg.direct();
        QUdpSocket sender;
        sender.writeDatagram(killLine(0), QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(pg.column("SELECT COUNT(*) FROM Scores"), QStringList{"1"},
                                  20000);
        QSqlQuery lock(db);
        QVERIFY(lock.exec("BEGIN") && lock.exec("LOCK TABLE Scores IN ACCESS EXCLUSIVE MODE"));
        sender.writeDatagram(plainKills(10), QHostAddress::LocalHost, port);
        QTest::qWait(500); // the writer waits for the lock

        QCOMPARE(receiver.stopWithCode(), 3);
        QVERIFY2(receiver.errors().contains("are kept in"), qPrintable(receiver.errors()));
        QVERIFY(lock.exec("ROLLBACK"));
        QVERIFY2(receiver.start({pg.connString()}), qPrintable(receiver.errors()));
        sender.writeDatagram("wake", QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(pg.column("SELECT COUNT(*) FROM Scores"), QStringList{"11"},
                                  30000);
        QCOMPARE(receiver.stopWithCode(), 0);
    }

private:
    QString emptyFile(const QString &name)
    {
        const QString path = m_dir.filePath(name);
        QFile(path).open(QIODevice::WriteOnly);
        return path;
    }
    static QString sqlite(const QString &file) { return "Provider=SQLite;Data Source=" + file; }

    QTemporaryDir m_dir;
};

VARNOCK_TEST_MAIN(TestLockedDatabase)
#include "tst_lockeddatabase.moc"
