#include "PgTestDatabase.h"
#include "ReceiverProcess.h"
#include "TestMain.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUdpSocket>
#include <QUuid>

#include <map>
#include <memory>

namespace {

const QStringList NameTables = {"Players", "Weapons", "Maps", "Teams", "Types"};
const QStringList NameColumns = {"Player", "Weapon", "Map", "Team", "Type"};

// A game server's log: every server names the same players, weapons and map, so the
// writers race to make the same name rows.
QList<QByteArray> serverLog(int server, int kills)
{
    const QByteArray t = "L 03/20/2026 - 20:00:00: ";
    QList<QByteArray> lines = {
        t + "Log file started (file \"x\") (game \"cstrike\") (version \"48\")",
        t + "Loading map \"de_dust2\"", t + "Started map \"de_dust2\""};
    for (int k = 0; k < kills; ++k) {
        const int killer = (k + server) % 10, victim = (k + server + 1) % 10;
        lines << t + "\"P" + QByteArray::number(killer) + "<" + QByteArray::number(killer + 2) +
                     "><STEAM_0:1:" + QByteArray::number(1000 + killer) + "><CT>\" killed \"P" +
                     QByteArray::number(victim) + "<" + QByteArray::number(victim + 2) +
                     "><STEAM_0:1:" + QByteArray::number(1000 + victim) +
                     "><TERRORIST>\" with \"w" + QByteArray::number(k % 7) + "\"";
    }
    return lines;
}

QStringList column(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        return {"query failed: " + query.lastError().text()};
    QStringList values;
    while (query.next())
        values << query.value(0).toString() + "|" + query.value(1).toString();
    return values;
}

qint64 number(const QSqlDatabase &db, const QString &sql)
{
    return column(db, sql).value(0).section('|', 0, 0).toLongLong();
}

// Game servers sending their logs at once, each from a socket of its own, to a port each.
void sendConcurrently(const QList<quint16> &ports, int kills)
{
    std::vector<std::unique_ptr<QUdpSocket>> sockets;
    std::vector<QList<QByteArray>> logs;
    for (int s = 0; s < ports.size(); ++s) {
        sockets.push_back(std::make_unique<QUdpSocket>());
        sockets.back()->bind(QHostAddress::LocalHost, 0);
        logs.push_back(serverLog(s, kills));
    }
    for (int line = 0; line < logs.front().size(); ++line) {
        for (int s = 0; s < ports.size(); ++s)
            sockets[s]->writeDatagram("\xFF\xFF\xFF\xFFlog " + logs[s][line] + "\n",
                                      QHostAddress::LocalHost, ports[s]);
        if (line % 50 == 49)
            QThread::msleep(5); // about 10,000 datagrams a second in all
    }
}

} // namespace

// Several writers on one statistics database: one program with two connection strings for
// one SQLite file, two programs on one SQLite file, three programs on one PostgreSQL
// database. Every kill sent must be stored once, every name have one row, and the tables
// hold what one writer alone stores from the same logs.
class TestManyWriters : public QObject
{
    Q_OBJECT

private slots:
    void writersShareOneDatabase_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QList<int>>("portsPerProgram");
        QTest::newRow("one program, two forms of one SQLite file") << "sqlite" << QList<int>{2};
        QTest::newRow("two programs, one SQLite file") << "sqlite" << QList<int>{1, 1};
        QTest::newRow("three programs, one PostgreSQL database")
            << "postgres" << QList<int>{1, 1, 1};
    }
    void writersShareOneDatabase()
    {
        QFETCH(QString, engine);
        QFETCH(QList<int>, portsPerProgram);
        constexpr int Kills = 1000;
        int servers = 0;
        for (const int ports : portsPerProgram)
            servers += ports;

        if (engine == "postgres" && qEnvironmentVariableIsEmpty("VARNOCK_TEST_PG_PORT"))
            QSKIP("no PostgreSQL test server (scripts/test starts one)");
        QSqlDatabase shared = database(engine, "shared");
        if (!shared.isOpen())
            return;
        std::vector<std::unique_ptr<Receiver>> receivers;
        QList<quint16> ports;
        for (const int count : portsPerProgram) {
            receivers.push_back(std::make_unique<Receiver>(
                m_dir.filePath(QUuid::createUuid().toString(QUuid::Id128)), LEDGERWELL_PATH));
            QStringList connections;
            for (int c = 0; c < count; ++c)
                connections << connectionString(engine, "shared", c);
            QVERIFY2(receivers.back()->start(connections), qPrintable(receivers.back()->errors()));
            ports << receivers.back()->ports();
        }
        sendConcurrently(ports, Kills);
        const qint64 datagrams = qint64(servers) * serverLog(0, Kills).size();
        QTRY_COMPARE_WITH_TIMEOUT(number(shared, "SELECT COUNT(*) FROM Logs"), datagrams, 120000);
        for (auto &receiver : receivers)
            QVERIFY2(receiver->stop(), qPrintable(receiver->errors()));

        QCOMPARE(number(shared, "SELECT COUNT(*) FROM Scores"), qint64(servers) * Kills);
        QCOMPARE(number(shared, "SELECT COUNT(*) FROM Servers"), qint64(servers));
        QCOMPARE(number(shared, "SELECT SUM(Packet_Number) FROM Servers"), datagrams);
        for (int t = 0; t < NameTables.size(); ++t)
            QCOMPARE(number(shared, "SELECT COUNT(*) - COUNT(DISTINCT " + NameColumns[t] +
                                        ") FROM " + NameTables[t]),
                     qint64(0));
        for (const QString table : {"Scores", "Games", "Logs", "Games_Players_Teams"})
            QCOMPARE(
                number(shared, QString("SELECT COUNT(*) - COUNT(DISTINCT Record) FROM ") + table),
                qint64(0));
        for (auto &receiver : receivers)
            QVERIFY2(!readLog(receiver->log()).contains("UNIQUE"),
                     qPrintable(readLog(receiver->log())));

        // One writer alone, the same logs: the same rows.
        QSqlDatabase alone = database(engine, "alone");
        Receiver single(m_dir.filePath(QUuid::createUuid().toString(QUuid::Id128)),
                        LEDGERWELL_PATH);
        QStringList connections;
        for (int s = 0; s < servers; ++s)
            connections << connectionString(engine, "alone", 0);
        QVERIFY2(single.start(connections), qPrintable(single.errors()));
        sendConcurrently(single.ports(), Kills);
        QTRY_COMPARE_WITH_TIMEOUT(number(alone, "SELECT COUNT(*) FROM Logs"), datagrams, 120000);
        QVERIFY(single.stop());
        for (const QString table : {"Players", "Weapons", "Maps", "Teams", "Types", "Games",
                                    "Games_Players_Teams", "Games_Players_Cvars", "Cvars"})
            QCOMPARE(number(shared, "SELECT COUNT(*) FROM " + table),
                     number(alone, "SELECT COUNT(*) FROM " + table));
        const QString killsPerPlayer =
            "SELECT p.Player, COUNT(*) FROM Scores s JOIN Players p ON p.Record = s.Killer "
            "GROUP BY p.Player ORDER BY p.Player";
        QCOMPARE(column(shared, killsPerPlayer), column(alone, killsPerPlayer));
    }

private:
    // An empty database the program prepares; its Qt connection for the checks.
    QSqlDatabase database(const QString &engine, const QString &name)
    {
        if (engine == "postgres") {
            m_pg[name] = std::make_unique<PgTestDatabase>();
            if (!m_pg[name]->ready())
                qWarning("%s", qPrintable(m_pg[name]->error()));
            return m_pg[name]->direct();
        }
        QDir(m_dir.path()).mkpath("sub");
        const QString path =
            m_dir.filePath(name + QUuid::createUuid().toString(QUuid::Id128) + ".mdb");
        m_paths[name] = path;
        QFile(path).open(QIODevice::WriteOnly); // the program creates no database file
        QSqlDatabase db =
            QSqlDatabase::addDatabase("QSQLITE", QUuid::createUuid().toString(QUuid::Id128));
        db.setDatabaseName(path);
        db.open();
        return db;
    }

    // The n-th way of naming the database: the SQLite file in both forms the program
    // accepts, and through a path with ".." in it.
    QString connectionString(const QString &engine, const QString &name, int n)
    {
        if (engine == "postgres")
            return m_pg[name]->connString();
        const QString path = m_paths[name];
        if (n % 2 == 1)
            return "Provider=Microsoft.Jet.OLEDB.3.51;Persist Security Info=False;Data Source=" +
                   m_dir.path() + "/sub/../" + QFileInfo(path).fileName();
        return "Provider=SQLite;Data Source=" + path;
    }

    static QString readLog(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir m_dir;
    std::map<QString, std::unique_ptr<PgTestDatabase>> m_pg;
    std::map<QString, QString> m_paths;
};

VARNOCK_TEST_MAIN(TestManyWriters)
#include "tst_manywriters.moc"
