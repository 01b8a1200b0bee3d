#include "ReceiverProcess.h"
#include "TestMain.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

namespace {

constexpr int Kills = 6000;

QByteArray source(const QByteArray &event)
{
    return "\xFF\xFF\xFF\xFFRL 03/20/2026 - 20:00:00: " + event + "\n";
}

// New players now and then, so later transactions refer to rows made in earlier ones.
QByteArray killLine(int k)
{
    const auto player = [](int p, const char *team) {
        return "\"P" + QByteArray::number(p) + "<" + QByteArray::number(p + 2) +
               "><STEAM_0:1:" + QByteArray::number(1000 + p) + "><" + team + ">\"";
    };
    const int base = k / 500 * 10;
    return source(player(base + k % 10, "CT") + " killed " +
                  player(base + (k + 1) % 10, "TERRORIST") + " with \"ak47\"");
}

qint64 number(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    return query.exec(sql) && query.next() ? query.value(0).toLongLong() : -1;
}

// The kill lines the program has archived in its log.
int archivedKills(const QString &log)
{
    QFile file(log);
    return file.open(QIODevice::ReadOnly) ? int(file.readAll().count("\" killed \"")) : 0;
}

} // namespace

// Rows kept at a stop in a file that is damaged before the next start: one bad byte loses the
// transaction it is in, not the ones after it; the file is kept aside, and the run says so on
// standard error and ends in failure.
class TestDamagedKept : public QObject
{
    Q_OBJECT

private slots:
    void badByteLosesOnlyItsTransaction()
    {
        const QString file = m_dir.filePath("stats.mdb");
        QFile(file).open(QIODevice::WriteOnly);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LEDGERWELL_UNLOAD_WAIT", "2");
        Receiver receiver(m_dir.filePath("run"), LEDGERWELL_PATH, environment);
        const QString connection = "Provider=SQLite;Data Source=" + file;
        QVERIFY2(receiver.start({connection}), qPrintable(receiver.errors()));
        const quint16 port = receiver.ports().first();

        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "locker");
        db.setDatabaseName(file);
        QVERIFY(db.open());
        QUdpSocket sender;
        sender.writeDatagram(source("Started map \"de_dust2\""), QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(number(db, "SELECT COUNT(*) FROM Games"), qint64(1), 30000);
        QSqlQuery lock(db);
        QVERIFY(lock.exec("BEGIN EXCLUSIVE"));
        // A thousand at a time, each archived before the next: none lost to a full buffer.
        for (int k = 0; k < Kills; ++k) {
            sender.writeDatagram(killLine(k), QHostAddress::LocalHost, port);
            if (k % 50 == 49)
                QThread::msleep(5);
            if (k % 1000 == 999)
                QTRY_VERIFY_WITH_TIMEOUT(archivedKills(receiver.log()) >= k + 1, 60000);
        }
        QCOMPARE(receiver.stopWithCode(), 3);
        QVERIFY(lock.exec("COMMIT"));
        const QStringList kept = programFiles("Ledgerwell-unwritten-*.rows");
        QCOMPARE(kept.size(), 1);
        const QString keptPath = receiver.programFolder() + "/" + kept.first();

        QFile keptFile(keptPath);
        QVERIFY(keptFile.open(QIODevice::ReadWrite));
        QByteArray bytes = keptFile.readAll();
        const qsizetype middle = bytes.size() / 2;
        bytes[middle] = char(bytes[middle] ^ 0x5A);
        QVERIFY(keptFile.seek(0) && keptFile.write(bytes) == bytes.size());
        keptFile.close();

        QVERIFY2(receiver.start({connection}), qPrintable(receiver.errors()));
        sender.writeDatagram("ping", QHostAddress::LocalHost, receiver.ports().first());
        QTRY_VERIFY_WITH_TIMEOUT(receiver.errors().contains("damaged"), 60000);
        QCOMPARE(receiver.stopWithCode(), 3);
        QVERIFY2(receiver.errors().contains("kept as " + keptPath + ".damaged"),
                 qPrintable(receiver.errors()));

        // One transaction (at most a thousand datagrams) lost, every other one written.
        const qint64 scores = number(db, "SELECT COUNT(*) FROM Scores");
        QVERIFY2(scores >= Kills - 1000 && scores < Kills, qPrintable(QString::number(scores)));
        QVERIFY(!QFile::exists(keptPath));
        QVERIFY(QFile::exists(keptPath + ".damaged"));
        QCOMPARE(QFileInfo(keptPath + ".damaged").size(), bytes.size());
    }

private:
    QStringList programFiles(const QString &pattern) const
    {
        return QDir(m_dir.filePath("run/program")).entryList({pattern}, QDir::Files);
    }

    QTemporaryDir m_dir;
};

VARNOCK_TEST_MAIN(TestDamagedKept)
#include "tst_damagedkept.moc"
