#include "ReceiverProcess.h"
#include "ReplayHarness.h"
#include "TestMain.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

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

// Game servers sending their logs at once, each to a port of its own: about 10,000
// datagrams a second in all.
void sendConcurrently(const QList<quint16> &ports, int kills)
{
    QList<QList<QByteArray>> streams;
    for (int s = 0; s < ports.size(); ++s) {
        streams << QList<QByteArray>();
        for (const QByteArray &line : serverLog(s, kills))
            streams.back() << "\xFF\xFF\xFF\xFFlog " + line + "\n";
    }
    sendInterleaved(streams, ports, 50, 5);
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
        QString error;
        const auto shared = database(engine == "postgres", error);
        QVERIFY2(shared, qPrintable(error));
        std::vector<std::unique_ptr<Receiver>> receivers;
        QList<quint16> ports;
        for (const int count : portsPerProgram) {
            receivers.push_back(std::make_unique<Receiver>(
                m_dir.filePath(QUuid::createUuid().toString(QUuid::Id128)), LEDGERWELL_PATH));
            QStringList connections;
            for (int c = 0; c < count; ++c)
                connections << connectionString(*shared, c);
            QVERIFY2(receivers.back()->start(connections), qPrintable(receivers.back()->errors()));
            ports << receivers.back()->ports();
        }
        sendConcurrently(ports, Kills);
        const qint64 datagrams = qint64(servers) * serverLog(0, Kills).size();
        QVERIFY(shared->awaitLogs(datagrams, 120000));
        for (auto &receiver : receivers)
            QVERIFY2(receiver->stop(), qPrintable(receiver->errors()));

        QCOMPARE(shared->number("SELECT COUNT(*) FROM Scores"), qint64(servers) * Kills);
        QCOMPARE(shared->number("SELECT COUNT(*) FROM Servers"), qint64(servers));
        QCOMPARE(shared->number("SELECT SUM(Packet_Number) FROM Servers"), datagrams);
        for (int t = 0; t < NameTables.size(); ++t)
            QCOMPARE(shared->number("SELECT COUNT(*) - COUNT(DISTINCT " + NameColumns[t] +
                                    ") FROM " + NameTables[t]),
                     qint64(0));
        for (const QString table : {"Scores", "Games", "Logs", "Games_Players_Teams"})
            QCOMPARE(shared->number("SELECT COUNT(*) - COUNT(DISTINCT Record) FROM " + table),
                     qint64(0));
        for (auto &receiver : receivers)
            QVERIFY2(!readLog(receiver->log()).contains("UNIQUE"),
                     qPrintable(readLog(receiver->log())));

        // One writer alone, the same logs: the same rows.
        const auto alone = database(engine == "postgres", error);
        QVERIFY2(alone, qPrintable(error));
        Receiver single(m_dir.filePath(QUuid::createUuid().toString(QUuid::Id128)),
                        LEDGERWELL_PATH);
        QVERIFY2(single.start(QStringList(servers, alone->connectionString())),
                 qPrintable(single.errors()));
        sendConcurrently(single.ports(), Kills);
        QVERIFY(alone->awaitLogs(datagrams, 120000));
        QVERIFY(single.stop());
        for (const QString table : {"Players", "Weapons", "Maps", "Teams", "Types", "Games",
                                    "Games_Players_Teams", "Games_Players_Cvars", "Cvars"})
            QCOMPARE(shared->number("SELECT COUNT(*) FROM " + table),
                     alone->number("SELECT COUNT(*) FROM " + table));
        const QString killsPerPlayer =
            "SELECT p.Player, COUNT(*) FROM Scores s JOIN Players p ON p.Record = s.Killer "
            "GROUP BY p.Player ORDER BY p.Player";
        QCOMPARE(shared->rows(killsPerPlayer), alone->rows(killsPerPlayer));
    }

private:
    std::unique_ptr<ReplayDatabase> database(bool postgres, QString &error)
    {
        QDir(m_dir.path()).mkpath("sub");
        return ReplayDatabase::make(
            postgres, m_dir.filePath(QUuid::createUuid().toString(QUuid::Id128) + ".mdb"), error);
    }

    // The n-th way of naming the database: the SQLite file in both forms the program
    // accepts, and through a path with ".." in it.
    QString connectionString(const ReplayDatabase &database, int n)
    {
        if (database.sqlitePath().isEmpty() || n % 2 == 0)
            return database.connectionString();
        return "Provider=Microsoft.Jet.OLEDB.3.51;Persist Security Info=False;Data Source=" +
               m_dir.path() + "/sub/../" + QFileInfo(database.sqlitePath()).fileName();
    }

    static QString readLog(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir m_dir;
};

VARNOCK_TEST_MAIN(TestManyWriters)
#include "tst_manywriters.moc"
