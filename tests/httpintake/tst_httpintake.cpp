#include "FreePort.h"
#include "IntakeBench.h"
#include "RawHttp.h"
#include "TestMain.h"

#include "httpintake/HttpIntake.h"
#include "httpintake/LogPostReader.h"

#include <QFile>
#include <QTcpServer>
#include <QUdpSocket>

#include <memory>

namespace {

// Three lines of a real CS2 post body (tests/data/http), with the offsets that place them.
const QByteArray Body =
    "01/19/2026 - 18:58:10.512 - World triggered \"Round_Start\"\n"
    "01/19/2026 - 18:58:11.004 - Team \"CT\" scored \"0\" with \"5\" players\n"
    "01/19/2026 - 18:58:11.004 - Team \"TERRORIST\" scored \"0\" with \"5\" players\n";

QList<QByteArray> offsets(qint64 begin, qint64 length)
{
    return {"X-Server-Addr: 203.0.113.7:27015", "X-Server-Instance-Token: 7A2C41D5",
            "X-Logbytes-BeginOffset: " + QByteArray::number(begin),
            "X-Logbytes-EndOffset: " + QByteArray::number(begin + length)};
}

} // namespace

// Log posts over a real TCP connection, handed to the real recording component loaded from
// its library, exactly as datagrams are.
class TestHttpIntake : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m = std::make_unique<IntakeBench>();
        qunsetenv("RECORDING_COMPONENT_REFUSE");
        qunsetenv("RECORDING_COMPONENT_BUSY");
        QVERIFY(IntakeBench::registerRecordingComponent());
        HttpLimits limits;
        limits.idleTimeoutSeconds = 1;
        limits.maxConnectionsPerAddress = 3;
        limits.maxBodyBytes = 64 * 1024;
        limits.maxBodyBytesInFlight = 48 * 1024;
        limits.connectionMemory = 16 * 1024;
        m_http = std::make_unique<HttpIntake>(m->state, m->intake, limits);
    }

    void cleanup()
    {
        m_http.reset();
        m.reset();
    }

    // The game port a post's address header names; 0 for anything else, so the TCP port
    // is taken instead.
    void addressPorts_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<int>("port");
        QTest::newRow("IPv4") << QByteArray("186.104.70.128:27015") << 27015;
        QTest::newRow("IPv6 in brackets") << QByteArray("[2001:db8::1]:27019") << 27019;
        QTest::newRow("lowest port") << QByteArray("0.0.0.0:1") << 1;
        QTest::newRow("highest port") << QByteArray("0.0.0.0:65535") << 65535;
        QTest::newRow("port 0") << QByteArray("0.0.0.0:0") << 0;
        QTest::newRow("above 65535") << QByteArray("0.0.0.0:65536") << 0;
        QTest::newRow("no port") << QByteArray("203.0.113.7") << 0;
        QTest::newRow("IPv6 without brackets") << QByteArray("::1:27015") << 0;
        QTest::newRow("not a number") << QByteArray("host:27a15") << 0;
        QTest::newRow("Steam id form") << QByteArray("=[A:1:2404786178:50561]:0") << 0;
    }
    void addressPorts()
    {
        QFETCH(QByteArray, address);
        QFETCH(int, port);
        QCOMPARE(int(portOfAddress(address)), port);
        LogPost post;
        post.peerPort = 40000;
        post.serverAddr = address;
        QCOMPARE(senderOf(post).port, port ? port : 40000);
    }

    // A body's lines, and where each ends in the stream the offsets place it in.
    void bodyLines_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("lines"); // text@end, joined with '|'
        QTest::newRow("LF lines") << QByteArray("a\nbc\n") << QByteArray("a@102|bc@105");
        QTest::newRow("CR LF and an empty line")
            << QByteArray("a\r\n\r\nb\r\n") << QByteArray("a@103|b@108");
        QTest::newRow("a line break first") << QByteArray("\nab\n") << QByteArray("ab@104");
        QTest::newRow("no line end at the end") << QByteArray("a\nb") << QByteArray("a@102|b@103");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void bodyLines()
    {
        QFETCH(QByteArray, body);
        LogPost post;
        post.body = body;
        post.beginOffset = 100;
        QByteArrayList found;
        for (const PostLine &line : linesOf(post))
            found << line.text.toByteArray() + '@' + QByteArray::number(line.end);
        QTEST(found.join('|'), "lines");
    }

    // Posts are placed in their server's stream by its instance token, else by its address
    // header and peer; without either they cannot be placed.
    void streamKeys()
    {
        LogPost post;
        post.peerIp = QStringLiteral("127.0.0.1");
        QCOMPARE(streamKeyOf(post), QByteArray());
        post.serverAddr = "203.0.113.7:27015";
        QCOMPARE(streamKeyOf(post), QByteArray("a:203.0.113.7:27015@127.0.0.1"));
        post.instanceToken = "7be6ded70c65df71";
        QCOMPARE(streamKeyOf(post), QByteArray("i:7be6ded70c65df71"));
        post.instanceToken = QByteArray(10000, 'x');
        QCOMPARE(streamKeyOf(post).size(), 2 + 64);
    }

    // Each line is one hand-over with the seven values in order; the sender is the TCP peer
    // at the game server's port, so every post of one server is the same sender.
    void linesAreHandedOverAsDatagrams()
    {
        const quint16 port = addConnection(1, "Provider=SQLite;Data Source=/a.db", "/l/a.log");
        QVERIFY(port);
        const RawResponse response = await(
            rawExchange(port, {logPost(Body, offsets(0, Body.size())),
                               logPost("one more line", {"X-Server-Addr: 203.0.113.7:27015"})}));
        QCOMPARE(response.status(0), 200);
        QCOMPARE(response.status(1), 200);
        QVERIFY(response.header("Retry-After").isEmpty());

        const QList<RecordedInstance> instances = m->recorded();
        const QList<QByteArray> lines = Body.split('\n').mid(0, 3) << "one more line";
        QCOMPARE(instances.size(), lines.size());
        for (int i = 0; i < instances.size(); ++i) {
            const RecordedInstance &instance = instances.at(i);
            QCOMPARE(instance.members().mid(0, 9), IntakeBench::Calls);
            QCOMPARE(instance.value("ConnectionString"), "Provider=SQLite;Data Source=/a.db");
            QCOMPARE(instance.value("ListenPort").toInt(), int(port));
            QCOMPARE(instance.value("SenderIP"), "127.0.0.1");
            QCOMPARE(instance.value("SenderPort"), "27015");
            QCOMPARE(instance.payload(), lines.at(i));
        }
        QVERIFY2(
            m->state.Label1.caption().startsWith("Log recieved on port " + QString::number(port)),
            qPrintable(m->state.Label1.caption()));
        QVERIFY(m->state.Label1.caption().endsWith(" containing 13 bytes of data."));
    }

    // The server's log secret travels as the header a datagram with a secret carries, so
    // the component checks both the same way.
    void secretIsFramedAsInADatagram()
    {
        const quint16 port = addConnection(1, "c", "/l");
        QCOMPARE(await(rawExchange(port, {logPost("line\n", {"X-Server-Unique-Token: s3cr3t"})}))
                     .status(),
                 200);
        QCOMPARE(m->recorded().value(0).payload(), QByteArray("\xFF\xFF\xFF\xFFSs3cr3tline"));
    }

    void badRequestsGetClearAnswers_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("allow");
        QTest::newRow("GET") << QByteArray("GET /log HTTP/1.1\r\nHost: x\r\n\r\n") << 405
                             << QByteArray("POST");
        QTest::newRow("PUT with body")
            << logPost("x\n").replace(0, 4, "PUT ") << 405 << QByteArray("POST");
        QTest::newRow("body over the limit")
            << QByteArray("POST /log HTTP/1.1\r\nHost: x\r\nContent-Length: 70000\r\n\r\n") << 413
            << QByteArray();
        QTest::newRow("headers over the limit")
            << logPost("x\n", {"X-Filler: " + QByteArray(20000, 'a')}) << 431 << QByteArray();
        QTest::newRow("URL over the limit")
            << logPost("x\n", {}, "/" + QByteArray(20000, 'a')) << 414 << QByteArray();
        QTest::newRow("bodies at once over the port's budget")
            << logPost(QByteArray(50000, 'x')) << 503 << QByteArray();
        QTest::newRow("not HTTP") << QByteArray("HELLO THERE\r\n\r\n") << 400 << QByteArray();
    }

    void badRequestsGetClearAnswers()
    {
        QFETCH(QByteArray, request);
        const quint16 port = addConnection(1, "c", "/l");
        const RawResponse response = await(rawExchange(port, {request}));
        QVERIFY(response.connected);
        QFETCH(int, status);
        QFETCH(QByteArray, allow);
        QCOMPARE(response.status(), status);
        QCOMPARE(response.header("Allow"), allow);
        QCOMPARE(response.header("Retry-After").isEmpty(), status != 503);
        QVERIFY(m->recorded().isEmpty()); // nothing handed over
    }

    void refusedSenderGets403()
    {
        qputenv("RECORDING_COMPONENT_REFUSE", "1");
        const quint16 port = addConnection(1, "c", "/l");
        const RawResponse refused = await(rawExchange(port, {logPost(Body)}));
        QCOMPARE(refused.status(), 403);
        QVERIFY(refused.header("Retry-After").isEmpty()); // sending again changes nothing
        QCOMPARE(m->recorded().size(), 1);                // the first line told; the rest not tried
    }

    // A post sent again after a busy answer, or whose answer was lost, is taken once; a
    // post that skips bytes of its stream is counted and noted in the connection's log.
    void resendsAreTakenOnceAndGapsNoted()
    {
        const QString logFile = m->dir.filePath("process.log");
        const quint16 port = addConnection(1, "c", logFile);
        const QByteArray first = logPost(Body, offsets(0, Body.size())); // a map's first post
        QCOMPARE(await(rawExchange(port, {first, first})).status(1), 200);
        QCOMPARE(m->recorded().size(), 3);

        const QByteArray next = "a\nb busy\nc\n";
        const QByteArray second = logPost(next, offsets(Body.size(), next.size()));
        qputenv("RECORDING_COMPONENT_BUSY", "busy");
        const RawResponse busy = await(rawExchange(port, {second}));
        QCOMPARE(busy.status(), 503);
        QVERIFY(busy.header("Retry-After").toInt() > 0);
        qunsetenv("RECORDING_COMPONENT_BUSY");
        QCOMPARE(await(rawExchange(port, {second})).status(), 200);
        QList<QByteArray> payloads;
        for (const RecordedInstance &instance : m->recorded())
            payloads << instance.payload();
        QCOMPARE(payloads.mid(3), QList<QByteArray>({"a", "b busy", "b busy", "c"}));
        QCOMPARE(m_http->gaps(), quint64(0));

        const QByteArray later = logPost("d\n", offsets(5000, 2));
        QCOMPARE(await(rawExchange(port, {later})).status(), 200);
        QCOMPARE(m_http->gaps(), quint64(1));
        QFile note(logFile);
        QVERIFY(note.open(QIODevice::ReadOnly));
        QVERIFY(note.readAll().contains("skipped"));
    }

    void idleClientsAreClosed()
    {
        const quint16 port = addConnection(1, "c", "/l");
        const RawResponse idle = await(rawExchange(port, {QByteArray()}, 8000));
        QVERIFY(idle.connected);
        QVERIFY(idle.closedByServer); // after its second of silence
    }

    void crowdingClientsAreTurnedAway()
    {
        HttpLimits limits;
        limits.maxConnectionsPerAddress = 3; // and time enough to hold them
        m_http = std::make_unique<HttpIntake>(m->state, m->intake, limits);
        const quint16 port = addConnection(1, "c", "/l");
        QList<int> held;
        for (int i = 0; i < 3; ++i)
            held << rawConnect(port);
        QTest::qWait(200); // the server takes them in
        const RawResponse fourth = await(rawExchange(port, {logPost("x\n")}, 3000));
        QVERIFY(!fourth.connected || fourth.closedByServer || fourth.status() == 0);
        for (int fd : held)
            ::close(fd);
        QTRY_COMPARE(await(rawExchange(port, {logPost("x\n")})).status(), 200);
    }

    // A stream of posts takes turns with the datagrams on the same thread: datagrams sent
    // while posts keep coming are handed over among the posts' lines, not after them all.
    void postsTakeTurnsWithDatagrams()
    {
        const quint16 port = addConnection(1, "c", "/l");
        QByteArray body;
        for (int i = 0; i < 50; ++i)
            body += "posted line " + QByteArray::number(i) + '\n';
        auto posts = rawExchange(port, QList<QByteArray>(400, logPost(body)), 30000);
        // Datagrams for as long as the posts last, however fast this machine takes them.
        QUdpSocket sender;
        quint64 sent = 0;
        while (posts.wait_for(std::chrono::seconds(0)) != std::future_status::ready &&
               sent < 100000) {
            sender.writeDatagram("datagram", QHostAddress::LocalHost, port);
            ++sent;
            QTest::qWait(1);
        }
        const RawResponse answered = await(std::move(posts), 60000);
        QCOMPARE(answered.answers.size(), 400);
        QTRY_COMPARE(m->intake.handedOver(), quint64(400 * 50) + sent);
        const QList<RecordedInstance> instances = m->recorded();
        qsizetype firstLine = -1, lastLine = -1, among = 0;
        for (qsizetype i = 0; i < instances.size(); ++i) {
            if (instances.at(i).payload() != "datagram") {
                lastLine = i;
                if (firstLine < 0)
                    firstLine = i;
            }
        }
        for (qsizetype i = firstLine + 1; i < lastLine; ++i)
            among += instances.at(i).payload() == "datagram";
        QVERIFY2(among > 0, qPrintable(QStringLiteral("none of %1 datagrams came among the "
                                                      "posts' lines")
                                           .arg(sent)));
    }

    // HTTP follows the datagram socket: it listens while the element is bound; a TCP port
    // held elsewhere leaves the datagrams flowing and says why.
    void httpFollowsTheSocketElement()
    {
        const quint16 port = addConnection(1, "c", m->dir.filePath("p.log"));
        QCOMPARE(m_http->port(1), port);
        m->state.udpPeerB.element(1)->Close();
        QCOMPARE(m_http->port(1), quint16(0));
        QVERIFY(!await(rawExchange(port, {logPost("x\n")})).connected);

        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::AnyIPv4, 0));
        QVERIFY(m->state.udpPeerB.element(1)->Bind(holder.serverPort()).ok());
        QCOMPARE(m_http->port(1), quint16(0));
        QVERIFY2(m->state.Label1.caption().contains("HTTP log posts can not be taken on port " +
                                                    QString::number(holder.serverPort())),
                 qPrintable(m->state.Label1.caption()));
        QVERIFY(m->state.Label1.caption().contains("10048"));
        QUdpSocket sender;
        sender.writeDatagram("datagram", QHostAddress::LocalHost, holder.serverPort());
        QTRY_COMPARE(m->intake.handedOver(), quint64(1));
    }

private:
    quint16 addConnection(int n, const QString &connString, const QString &log)
    {
        m->state.ConnStrings[n] = connString;
        if (!m->state.udpPeerB.Load(n).ok())
            return 0;
        m->state.ListView1.add({ConnKey(n), QString(), connString, QStringLiteral("False"), log});
        for (int attempt = 0; attempt < 20; ++attempt) {
            const quint16 port = freePort();
            if (m->state.udpPeerB.element(n)->Bind(port).ok() && m_http->port(n) == port) {
                m->state.ListView1.setText(m->state.ListView1.find(ConnKey(n)),
                                           QString::number(port));
                return port;
            }
            m->state.udpPeerB.element(n)->Close(); // the TCP port was taken: another one
        }
        return 0;
    }

    std::unique_ptr<IntakeBench> m;
    std::unique_ptr<HttpIntake> m_http;
};

VARNOCK_TEST_MAIN(TestHttpIntake)
#include "tst_httpintake.moc"
