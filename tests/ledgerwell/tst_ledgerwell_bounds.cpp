#include "LedgerwellHarness.h"
#include "TestMain.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int Each = 3000;     // datagrams of each kind
constexpr int NameLimit = 500; // names each cache keeps
constexpr int ServerLimit = 8; // servers kept whole

QByteArray line(const QByteArray &text)
{
    return Framed::source("L 03/20/2026 - 20:00:00: " + text);
}

QByteArray player(int i, const char *team)
{
    const QByteArray n = QByteArray::number(i);
    return "\"P" + n + "<" + n + "><STEAM_0:1:" + n + "><" + team + ">\"";
}

// What anyone who reaches the port can send: ever new cvars, maps, players, chat and
// weapons, interleaved so every new map comes after many cvars.
QList<QByteArray> amplification()
{
    QList<QByteArray> datagrams;
    for (int i = 0; i < Each; ++i) {
        const QByteArray n = QByteArray::number(i);
        datagrams << line("server_cvar: \"cv" + n + "\" \"" + n + "\"")
                  << line("Started map \"map" + n + "\"")
                  << line(player(i, "CT") + " say \"message " + n + "\"")
                  << line(player(i, "CT") + " killed " + player(i + Each, "TERRORIST") +
                          " with \"w" + n + "\"");
    }
    return datagrams;
}

} // namespace

// Work and memory per datagram stay bounded whatever a sender sends: each datagram writes a
// few rows, and the names kept in memory stay within the limit, however many are new.
class TestLedgerwellBounds : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("LEDGERWELL_NAME_CACHE", QByteArray::number(NameLimit));
        qputenv("LEDGERWELL_SERVER_CACHE", QByteArray::number(ServerLimit));
    }

    void newNamesWithoutEnd()
    {
        TEST_DATABASE(db, Engine::Sqlite, m_dir.path());
        ProgramUnderTest program;
        QVERIFY2(program.registrationError().isEmpty(), qPrintable(program.registrationError()));
        const quint16 port =
            program.addConnection(1, db->connectionString(), m_dir.filePath("bounds.log"));
        QVERIFY(port);
        const LedgerwellCounterSet before = ledgerwellCounters();
        GameServer server;
        const QList<QByteArray> datagrams = amplification();
        for (const QByteArray &datagram : datagrams)
            QVERIFY(server.send(datagram, port));
        QVERIFY(waitUntilCommitted(before, quint64(datagrams.size()), 120000));

        // Rows: a small multiple of the datagrams, not one per cvar per game.
        qint64 rows = 0;
        for (const qint64 count : db->counts())
            rows += count;
        QVERIFY2(rows <= 8 * datagrams.size(), qPrintable(QString::number(rows)));
        QCOMPARE(db->count("Scores"), qint64(Each));
        QCOMPARE(db->count("Games"), qint64(Each));

        // Memory: the names kept stay within the limit; the rest were let go.
        const LedgerwellCounterSet after = ledgerwellCounters();
        QVERIFY2(after.namesCached <= 6 * NameLimit,
                 qPrintable(QString::number(after.namesCached)));
        QVERIFY(after.namesDropped >= quint64(Each));
        QVERIFY2(after.recordsKept <= 8 * NameLimit,
                 qPrintable(QString::number(after.recordsKept)));
        // A name dropped and seen again is found in the database, not made twice.
        for (const QByteArray &datagram : datagrams.mid(0, 40))
            QVERIFY(server.send(datagram, port));
        QVERIFY(waitUntilCommitted(after, 40, 30000));
        QCOMPARE(db->value("SELECT COUNT(*) - COUNT(DISTINCT Player) FROM Players"), "0");
        QCOMPARE(db->value("SELECT COUNT(*) - COUNT(DISTINCT Map) FROM Maps"), "0");
        QCOMPARE(db->value("SELECT COUNT(*) - COUNT(DISTINCT Weapon) FROM Weapons"), "0");
    }

    // A server that many others push out of memory and that speaks again keeps its one
    // Servers row: its datagrams add up there and its name stays. Its Record is kept with the
    // names (20 others), or, past their limit too (1,200 others), found in the database.
    void serverLetGoAndMetAgain_data()
    {
        QTest::addColumn<int>("others");
        QTest::addColumn<qint64>("cvarLinks"); // of the server, which lists one cvar twice
        QTest::newRow("Record kept") << 20 << qint64(1);
        // A link let go (its server's Record with it) is written again.
        QTest::newRow("Record let go too") << 1200 << qint64(2);
    }
    void serverLetGoAndMetAgain()
    {
        QFETCH(int, others);
        QFETCH(qint64, cvarLinks);
        TEST_DATABASE(db, Engine::Sqlite, m_dir.path());
        ProgramUnderTest program;
        QVERIFY2(program.registrationError().isEmpty(), qPrintable(program.registrationError()));
        const quint16 port = program.addConnection(1, db->connectionString(),
                                                   m_dir.filePath("servers%1.log").arg(others));
        QVERIFY(port);
        const LedgerwellCounterSet before = ledgerwellCounters();
        const QByteArray hostname = line("Server cvar \"hostname\" = \"Alpha\"");
        GameServer alpha;
        QVERIFY(alpha.send(hostname, port));
        QVERIFY(alpha.send(line("Started map \"de_dust2\""), port));
        std::vector<std::unique_ptr<GameServer>> crowd;
        for (int i = 0; i < others; ++i) {
            crowd.push_back(std::make_unique<GameServer>());
            QVERIFY(crowd.back()->send(line("Log file started"), port));
        }
        QVERIFY(alpha.send(line("Log file started"), port));
        QVERIFY(alpha.send(hostname, port));
        QVERIFY(waitUntilCommitted(before, quint64(others + 4), 60000));

        QCOMPARE(db->count("Servers"), qint64(others + 1));
        const QString alphaRow =
            "Servers WHERE Server_Port = '" + QString::number(alpha.port()) + "'";
        const QList<QStringList> alphaRows{{"Alpha", "4"}};
        QCOMPARE(db->rows("SELECT Server_Name, Packet_Number FROM " + alphaRow), alphaRows);
        QCOMPARE(db->count("Servers_Cvars WHERE Server IN (SELECT Record FROM " + alphaRow + ")"),
                 cvarLinks);
        const LedgerwellCounterSet after = ledgerwellCounters();
        QVERIFY(after.serversCached - before.serversCached <= quint64(ServerLimit));
        QVERIFY(after.serversDropped - before.serversDropped >= quint64(others + 1 - ServerLimit));
    }

    // Many more servers than are kept whole, their Records coming and going among the names,
    // speaking in turn, round after round: every datagram is written, to its server's one row.
    void serversComeAndGoRoundAfterRound()
    {
        TEST_DATABASE(db, Engine::Sqlite, m_dir.path());
        ProgramUnderTest program;
        QVERIFY2(program.registrationError().isEmpty(), qPrintable(program.registrationError()));
        const quint16 port =
            program.addConnection(1, db->connectionString(), m_dir.filePath("churn.log"));
        QVERIFY(port);
        constexpr int Servers = NameLimit * 4 / 5, Rounds = 4;
        std::vector<std::unique_ptr<GameServer>> servers;
        for (int i = 0; i < Servers; ++i)
            servers.push_back(std::make_unique<GameServer>());
        std::mt19937 random(7);
        const LedgerwellCounterSet before = ledgerwellCounters();
        for (int round = 1; round <= Rounds; ++round) {
            std::shuffle(servers.begin(), servers.end(), random);
            for (const auto &server : servers)
                QVERIFY(server->send(line("Log file started"), port));
            QVERIFY(waitUntilCommitted(before, quint64(round * Servers), 60000));
        }
        QCOMPARE(ledgerwellCounters().commitFailures, before.commitFailures);
        QCOMPARE(db->count("Servers"), qint64(Servers));
        QCOMPARE(db->count("Servers WHERE Packet_Number = " + QString::number(Rounds)),
                 qint64(Servers));
    }

private:
    QTemporaryDir m_dir;
};

VARNOCK_TEST_MAIN(TestLedgerwellBounds)
#include "tst_ledgerwell_bounds.moc"
