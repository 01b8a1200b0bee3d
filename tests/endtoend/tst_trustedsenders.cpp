#include "Framed.h"
#include "HttpLogPosts.h"
#include "ReceiverProcess.h"
#include "TestMain.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

namespace {

QByteArray line(int second)
{
    return "L 03/21/2026 - 20:00:" + QByteArray::number(second).rightJustified(2, '0') +
           ": World triggered \"Round_Start\"";
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

// The real program, headless, with the real Ledgerwell.so and its Ledgerwell.ini in the
// program folder, receiving real UDP datagrams and HTTP posts from 127.0.0.1 on ports the
// test chose.
class TestTrustedSenders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void onlyTheServersAPortTrustsAreCounted()
    {
        Receiver receiver(m_dir.filePath("receiver"), QStringLiteral(LEDGERWELL_PATH));
        const QString database = m_dir.filePath("stats.db");
        QVERIFY(QFile(database).open(QIODevice::WriteOnly)); // the program creates no database
        const QList<quint16> ports = receiver.choosePorts(2);
        const quint16 trusting = ports.at(0), elsewhere = ports.at(1);
        QFile ini(receiver.programFolder() + "/Ledgerwell.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[" + QByteArray::number(trusting) + "]\nallow = 127.0.0.1\nsecret = 48151623\n" +
                  "[" + QByteArray::number(elsewhere) + "]\nallow = 203.0.113.7\n");
        ini.close();
        const QString connection = "Provider=SQLite;Data Source=" + database;
        QVERIFY2(receiver.start({connection, connection}), qPrintable(receiver.errors()));

        QUdpSocket server;
        QVERIFY(server.bind(QHostAddress::LocalHost, 0));
        const QString from = "127.0.0.1:" + QString::number(server.localPort());
        constexpr int Trusted = 10;
        for (int i = 0; i < Trusted; ++i) {
            server.writeDatagram(Framed::secret(line(i), "48151623"), QHostAddress::LocalHost,
                                 trusting);
            server.writeDatagram(Framed::hl1(line(i)), QHostAddress::LocalHost, elsewhere);
        }
        server.writeDatagram(Framed::hl1(line(59)), QHostAddress::LocalHost, trusting);
        server.writeDatagram(Framed::secret(line(59), "4815162"), QHostAddress::LocalHost,
                             trusting);

        const QString refusedSender = "refused a datagram from " + from + " on port " +
                                      QString::number(elsewhere) +
                                      ": the sender is not on the port's allow-list";
        const QString refusedSecret = "refused a datagram from " + from + " on port " +
                                      QString::number(trusting) +
                                      ": the datagram carries no log "
                                      "secret";
        QTRY_VERIFY_WITH_TIMEOUT(readText(receiver.log()).contains(refusedSender), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(readText(receiver.log()).contains(refusedSecret), 30000);
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "trusted");
        db.setDatabaseName(database);
        QVERIFY(db.open());
        QTRY_COMPARE_WITH_TIMEOUT(value(db, "SELECT COUNT(*) FROM Logs"), QString::number(Trusted),
                                  30000);
        QVERIFY2(receiver.stop(), qPrintable(receiver.errors()));

        QCOMPARE(value(db, "SELECT COUNT(*) FROM Logs"), QString::number(Trusted));
        QCOMPARE(value(db, "SELECT COUNT(*) FROM Scores"), QString::number(Trusted));
        QCOMPARE(value(db, "SELECT Server_IP || ':' || Server_Port || ' ' || Packet_Number "
                           "FROM Servers"),
                 from + " " + QString::number(Trusted));
        const QString log = readText(receiver.log());
        // Each refusing port notes the sender once, however many datagrams it refused.
        QCOMPARE(log.count(refusedSender), 1);
        QCOMPARE(log.count(refusedSecret), 1);
        QCOMPARE(log.count("refused a datagram"), 2);
        QVERIFY2(log.contains("port " + QString::number(trusting) +
                              " takes datagrams from 1 allowed address with its log secret"),
                 qPrintable(log));
    }

    // HTTP posts meet the same rules: the allow-list holds the TCP peer, whatever the post's
    // address header says, and a CS2 server's posted token is the port's secret. A refused
    // post is answered 403 and leaves nothing written.
    void httpPostsMeetTheSameRules()
    {
        Receiver receiver(m_dir.filePath("http"), QStringLiteral(LEDGERWELL_PATH));
        const QString database = m_dir.filePath("http.db");
        QVERIFY(QFile(database).open(QIODevice::WriteOnly));
        const QList<quint16> ports = receiver.choosePorts(3);
        QFile ini(receiver.programFolder() + "/Ledgerwell.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[" + QByteArray::number(ports.at(0)) +
                  "]\nallow = 127.0.0.1\nsecret = 7be6ded70c65df71\n[" +
                  QByteArray::number(ports.at(1)) + "]\nallow = 203.0.113.7\n");
        ini.close();
        const QString connection = "Provider=SQLite;Data Source=" + database;
        QVERIFY2(receiver.start({connection, connection, connection}),
                 qPrintable(receiver.errors()));

        struct Case
        {
            const char *what;
            int port;
            QByteArray token, serverAddr;
            int status;
        };
        const Case cases[] = {
            {"the port's token", 0, "7be6ded70c65df71", "127.0.0.1:27015", 200},
            {"no token", 0, {}, "127.0.0.1:27015", 403},
            {"another token", 0, "7be6ded70c65df72", "127.0.0.1:27015", 403},
            {"an allowed address named only in the header", 1, {}, "203.0.113.7:27015", 403},
            {"a port without rules", 2, {}, "198.51.100.9:27016", 200},
        };
        int taken = 0;
        for (const Case &c : cases) {
            HttpLogPost post;
            post.body = "03/21/2026 - 20:00:01.250 - World triggered \"Round_Start\"\n"
                        "03/21/2026 - 20:00:02.500 - World triggered \"Round_End\"\n";
            post.headers = {{"X-Server-Addr", c.serverAddr}};
            if (!c.token.isEmpty())
                post.headers.append({"X-Server-Unique-Token", c.token});
            QCOMPARE(sendPosts(ports.at(c.port), {post}), QList<int>{c.status});
            taken += c.status == 200 ? 2 : 0;
        }
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "http");
        db.setDatabaseName(database);
        QVERIFY(db.open());
        QTRY_COMPARE_WITH_TIMEOUT(value(db, "SELECT COUNT(*) FROM Logs"), QString::number(taken),
                                  30000);
        QVERIFY2(receiver.stop(), qPrintable(receiver.errors()));
        QCOMPARE(value(db, "SELECT COUNT(*) FROM Logs"), QString::number(taken));
        QCOMPARE(value(db, "SELECT GROUP_CONCAT(Server_IP || ':' || Server_Port || ' ' || "
                           "Packet_Number, ', ') FROM Servers"),
                 QStringLiteral("127.0.0.1:27015 2, 127.0.0.1:27016 2"));
    }

private:
    static QString value(const QSqlDatabase &db, const QString &sql)
    {
        QSqlQuery query(db);
        if (!query.exec(sql))
            return "query failed: " + query.lastError().text();
        return query.next() ? query.value(0).toString() : QString();
    }

    QTemporaryDir m_dir;
};

VARNOCK_TEST_MAIN(TestTrustedSenders)
#include "tst_trustedsenders.moc"
