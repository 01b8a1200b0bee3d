#include "Framed.h"
#include "RawHttp.h"
#include "ReceiverProcess.h"
#include "TestMain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>

namespace {

const QByteArray T = "L 03/21/2026 - 20:00:00: ";
const QByteArray Understood = T + "World triggered \"Round_Start\"";
const QByteArray Ignored = T + "Rcon: \"rcon 1 \"x\" status\" from \"1.2.3.4:1\"";
const QByteArray Rejected = T + "Server cvar \"x\" \"y\"";
const QByteArray Ambiguous = T + "\"<2><STEAM_1:0:1><CT>\" killed \"<9><STEAM_0:0:666><CT>\" "
                                 "killed \"V<7><STEAM_0:0:111><T>\" with \"knife\"";

RawResponse get(quint16 port, const QByteArray &path)
{
    return await(rawExchange(port, {"GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"}));
}

QByteArray bodyOf(const RawResponse &response)
{
    const QByteArray answer = response.answers.value(0);
    return answer.mid(answer.indexOf("\r\n\r\n") + 4);
}

// The samples of an exposition by name and labels as written; an empty map when a line is
// neither a sample nor a comment, or a sample comes before its family's HELP and TYPE.
QMap<QByteArray, double> samples(const QByteArray &text)
{
    static const QRegularExpression sample(
        QStringLiteral(R"(^([a-z_]+)(\{[a-z_]+="[^"]*"(,[a-z_]+="[^"]*")*\})? (\S+)$)"));
    QMap<QByteArray, double> values;
    QSet<QByteArray> described;
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith("# HELP ") || line.isEmpty())
            continue;
        if (line.startsWith("# TYPE ")) {
            described.insert(line.split(' ').value(2));
            continue;
        }
        const QRegularExpressionMatch match = sample.match(QString::fromUtf8(line));
        bool number = false;
        const double value = match.captured(4).toDouble(&number);
        const QByteArray name = match.captured(1).toUtf8();
        const QByteArray family =
            name.endsWith("_bucket") || name.endsWith("_sum") || name.endsWith("_count")
                ? name.left(name.lastIndexOf('_'))
                : name;
        if (!match.hasMatch() || (!number && match.captured(4) != "+Inf") ||
            !described.contains(family))
            return {};
        values.insert(line.left(line.lastIndexOf(' ')), value);
    }
    return values;
}

quint16 metricsPort(Receiver &receiver)
{
    static const QRegularExpression announced(QStringLiteral("metrics on http://[^:]+:(\\d+)/"));
    QRegularExpressionMatch match;
    (void)QTest::qWaitFor([&] { return (match = announced.match(receiver.errors())).hasMatch(); },
                          20000);
    return quint16(match.captured(1).toUInt());
}

// The drops the kernel counted on the UDP socket bound to this port.
quint64 kernelDropsOnPort(quint16 port)
{
    return udpSocketFields(port).value(12).toULongLong();
}

} // namespace

// `receiver`: the program, headless, with one SQLite database named after the folder and its
// metrics on a port of its own, `metrics`; the test ends here when it does not start.
#define STARTED(receiver, metrics, folder, ...)                                                    \
    Receiver receiver(m_dir.filePath(folder), QStringLiteral(LEDGERWELL_PATH));                    \
    QVERIFY(QFile(m_dir.filePath(QString(folder) + ".db")).open(QIODevice::WriteOnly));            \
    QVERIFY2(                                                                                      \
        receiver.start({"Provider=SQLite;Data Source=" + m_dir.filePath(QString(folder) + ".db")}, \
                       {"--metrics=127.0.0.1:0", ##__VA_ARGS__}),                                  \
        qPrintable(receiver.errors()));                                                            \
    const quint16 metrics = metricsPort(receiver);                                                 \
    QVERIFY2(metrics != 0, qPrintable(receiver.errors()))

// The real program, headless, with the real component, its metrics and health pages on a
// port it took itself, fed on ports the test chose.
class TestMetrics : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void figuresMatchWhatWasSent()
    {
        STARTED(receiver, metrics, "figures");
        const quint16 port = receiver.ports().at(0);
        QUdpSocket server;
        const QList<QPair<QByteArray, int>> sent = {
            {Understood, 7}, {Ignored, 3}, {Rejected, 2}, {Ambiguous, 1}, {"not a log line", 4}};
        int datagrams = 0;
        for (const auto &[line, count] : sent) {
            for (int i = 0; i < count; ++i, ++datagrams)
                server.writeDatagram(line == "not a log line" ? line : Framed::hl1(line),
                                     QHostAddress::LocalHost, port);
        }
        QCOMPARE(await(rawExchange(port, {logPost(Understood + '\n' + Ignored + '\n')})).status(),
                 200);

        const QByteArray labels = "{port=\"" + QByteArray::number(port) + "\",connection=\"1\"";
        QMap<QByteArray, double> values;
        QTRY_VERIFY_WITH_TIMEOUT(
            (values = samples(bodyOf(get(metrics, "/metrics"))))
                        .value("varnock_datagrams_handed_over_total" + labels + '}') == datagrams &&
                values.value("varnock_databases_answering") == 1,
            30000);
        const QList<QPair<QByteArray, double>> expected = {
            {"varnock_datagrams_received_total" + labels + '}', datagrams},
            {"varnock_datagrams_refused_total" + labels + ",reason=\"memory_full\"}", 0},
            {"varnock_datagrams_refused_total" + labels + ",reason=\"failed\"}", 0},
            {"varnock_kernel_dropped_datagrams_total" + labels + '}', 0},
            {"varnock_http_lines_received_total" + labels + '}', 2},
            {"varnock_http_lines_handed_over_total" + labels + '}', 2},
            {"varnock_lines_total{outcome=\"understood\"}", 8},
            {"varnock_lines_total{outcome=\"ignored\"}", 4},
            {"varnock_lines_total{outcome=\"rejected\"}", 6},
            {"varnock_lines_total{outcome=\"ambiguous\"}", 1},
            {"varnock_ports_listening", 1},
            {"varnock_component_loaded", 1},
            {"varnock_databases", 1}};
        for (const auto &[name, value] : expected)
            QVERIFY2(values.value(name, -1) == value,
                     qPrintable(name + " is " + QByteArray::number(values.value(name, -1))));
        // Every commit falls into a bucket; and every row is committed in the end.
        QTRY_VERIFY_WITH_TIMEOUT(
            (values = samples(bodyOf(get(metrics, "/metrics")))).value("varnock_rows_waiting") ==
                    0 &&
                values.value("varnock_commit_duration_seconds_count") > 0,
            30000);
        QCOMPARE(values.value("varnock_commit_duration_seconds_bucket{le=\"+Inf\"}"),
                 values.value("varnock_commit_duration_seconds_count"));
        QVERIFY(receiver.stop());
    }

    void healthTellsWhatFails_data()
    {
        QTest::addColumn<bool>("databaseKept");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("problem");
        addRow("database answers", true, 200, QString());
        addRow("database removed after start-up", false, 503,
               QStringLiteral("1 of 1 databases do not answer"));
    }
    void healthTellsWhatFails()
    {
        QFETCH(bool, databaseKept);
        QFETCH(int, status);
        QFETCH(QString, problem);
        STARTED(receiver, metrics, QTest::currentDataTag());
        // The component opens it for the first datagram, after start-up found it.
        if (!databaseKept)
            QVERIFY(QFile::remove(m_dir.filePath(QString(QTest::currentDataTag()) + ".db")));
        QUdpSocket server;
        // The database is opened for the first datagram, and again for a later one.
        const auto answered = [&] {
            server.writeDatagram(Framed::hl1(Understood), QHostAddress::LocalHost,
                                 receiver.ports().at(0));
            const RawResponse health = get(metrics, "/healthz");
            const QJsonObject body = QJsonDocument::fromJson(bodyOf(health)).object();
            return health.status() == status && body.value("databases").toInt() == 1 &&
                   body.value("problems").toArray().contains(problem) == !problem.isEmpty();
        };
        QVERIFY(QTest::qWaitFor(answered, 30000));
        const QJsonObject body = QJsonDocument::fromJson(bodyOf(get(metrics, "/healthz"))).object();
        QCOMPARE(body.value("listening").toArray().first().toInt(), int(receiver.ports().at(0)));
        QCOMPARE(body.value("component_loaded").toBool(), true);
        QCOMPARE(get(metrics, "/nothing").status(), 404);
        // Anything but GET and HEAD is refused, with the methods that are answered.
        const RawResponse post = await(rawExchange(
            metrics, {"POST /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n"}));
        QCOMPARE(post.status(), 405);
        QCOMPARE(post.header("Allow"), QByteArray("GET, HEAD"));
        receiver.stopWithCode();
    }

    // The program held up (stopped) while more arrives than its socket holds: its count of
    // what the kernel dropped is the kernel's, told in the status line, the log, the metrics
    // and at the end of the run.
    void kernelDropsAreToldAndCounted()
    {
        STARTED(receiver, metrics, "drops", "logout=0");
        const quint16 port = receiver.ports().at(0);
        const qint64 pid = receiver.program().process().processId();
        QUdpSocket server;
        const QByteArray datagram(16, 'x');
        const QByteArray labels = "{port=\"" + QByteArray::number(port) + "\",connection=\"1\"}";
        QVERIFY(::kill(pid_t(pid), SIGSTOP) == 0);
        // However large a buffer the program was granted, it fills.
        double sent = 0;
        for (; sent < 2'000'000 && kernelDropsOnPort(port) == 0; sent += 1000) {
            for (int j = 0; j < 1000; ++j)
                server.writeDatagram(datagram, QHostAddress::LocalHost, port);
        }
        QVERIFY(::kill(pid_t(pid), SIGCONT) == 0);
        QVERIFY(kernelDropsOnPort(port) > 0);
        QTRY_VERIFY_WITH_TIMEOUT(samples(bodyOf(get(metrics, "/metrics")))
                                         .value("varnock_datagrams_received_total" + labels) >=
                                     sent - double(kernelDropsOnPort(port)),
                                 60000);
        const quint64 drops = kernelDropsOnPort(port); // the buffer is read: no more drops
        // What the reads tell comes with the first datagram queued after the drops, maybe in
        // parts: the status lines add up to the kernel's count.
        const QRegularExpression told(
            QStringLiteral("The kernel dropped (\\d+) datagrams on port %1 ").arg(port));
        const auto toldInStatus = [&] {
            server.writeDatagram(datagram, QHostAddress::LocalHost, port);
            quint64 sum = 0;
            for (auto match = told.globalMatch(receiver.program().out()); match.hasNext();)
                sum += match.next().captured(1).toULongLong();
            return sum == drops;
        };
        QVERIFY2(QTest::qWaitFor(toldInStatus, 60000), qPrintable(receiver.program().out()));
        QCOMPARE(kernelDropsOnPort(port), drops);
        QCOMPARE(samples(bodyOf(get(metrics, "/metrics")))
                     .value("varnock_kernel_dropped_datagrams_total" + labels),
                 double(drops));
        const auto logged = [&] {
            QFile log(receiver.log());
            return log.open(QIODevice::ReadOnly) &&
                   log.readAll().contains(" datagrams on port " + QByteArray::number(port) +
                                          " before the program could read them");
        };
        QTRY_VERIFY(logged());
        receiver.stopWithCode();
        QVERIFY2(receiver.errors().contains(QStringLiteral("the kernel dropped %1 datagrams on "
                                                           "port %2 (connection 1) in this run")
                                                .arg(drops)
                                                .arg(port)),
                 qPrintable(receiver.errors()));
    }

private:
    QTemporaryDir m_dir;
};

VARNOCK_TEST_MAIN(TestMetrics)
#include "tst_metrics.moc"
