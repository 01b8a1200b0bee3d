// The program's per-datagram path, assembled as start-up will: the program-wide state with
// one bound socket element and its connection row, the component factory, the datagram
// intake with its status line, and Ledgerwell.so registered as the scoring component. It prints its
// port, receives until the expected datagrams are in (or the stream has been quiet for a while) and
// everything is committed, then reports.
//
//   ledgerwell_bench_host --sqlite FILE | --postgres HOST:PORT:USER:PASSWORD [--shared DB]
//                         [--raw 0|1] [--expect N] [--idle-ms MS] [--log PATH] [--window]
#include "LedgerwellCounters.h"
#include "ThreadCpu.h"

#include "database/CreateSchema.h"
#include "httpintake/HttpIntake.h"
#include "intake/ComponentLibrary.h"
#include "intake/DatagramIntake.h"
#include "intake/ScoringComponentFactory.h"
#include "platform/ConsoleOperator.h"
#include "platform/SqlConnection.h"
#include "shell/MainForm.h"
#include "state/MainModule.h"
#include "state/TextFunctions.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLibrary>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <map>
#include <memory>

#include <sys/resource.h>
#include <unistd.h>

namespace {

QString argument(const QStringList &args, const QString &name, const QString &fallback = {})
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
}

qint64 cpuMicros(int who)
{
    rusage usage = {};
    getrusage(who, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000 +
           usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
}

// How often the thread named `name` went to sleep (each is a wake-up later): the cost the
// reader pays per batch, whatever the batch holds.
qint64 voluntarySwitches(const QString &name)
{
    qint64 switches = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        QFile status(tasks.filePath(task + QStringLiteral("/status")));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name.toUtf8() ||
            !status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                switches += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
    }
    return switches;
}

// The drops column of /proc/net/udp for the socket bound to port.
qint64 kernelDrops(quint16 port)
{
    QFile file(QStringLiteral("/proc/net/udp"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QString wanted = QStringLiteral(":%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    qint64 drops = -1; // all the port's sockets together
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 13 && fields.at(1).toUpper().endsWith(wanted.toLatin1()))
            drops = std::max<qint64>(drops, 0) + fields.last().toLongLong();
    }
    return drops;
}

// The statistics tables made by the program's own schema creation.
bool createSchema(const QString &connectionString, QString &error)
{
    MainModule state;
    state.ConnStrings[1] = connectionString;
    ConsoleOperator op;
    const SchemaOutcome schema = CreateSchema(state, 1, op, newSqlConnection);
    if (!schema.status)
        error = schema.status.error().description;
    return schema.status.ok() && !schema.cancelled;
}

bool onPostgres(const QStringList &server, const QString &database, const QString &sql,
                QString &error)
{
    bool ok = false;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("admin"));
        db.setHostName(server.at(0));
        db.setPort(server.at(1).toInt());
        db.setUserName(server.at(2));
        db.setPassword(server.value(3));
        db.setDatabaseName(database);
        if (db.open()) {
            QSqlQuery query(db);
            ok = query.exec(sql);
            if (!ok)
                error = query.lastError().text();
        } else {
            error = db.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("admin"));
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home; // the class registration of this run only
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments();

    // The database, with the statistics tables made as the program makes them.
    QString connectionString, error, pgDatabase;
    QStringList pgServer;
    if (const QString file = argument(args, QStringLiteral("--sqlite")); !file.isEmpty()) {
        QFile::remove(file);
        QFile::remove(file + QStringLiteral("-wal"));
        QFile::remove(file + QStringLiteral("-shm"));
        QFile(file).open(
            QIODevice::WriteOnly); // an empty database file, as an installer leaves one
        connectionString = QStringLiteral("Provider=SQLite;Data Source=") + file;
        if (!createSchema(connectionString, error)) {
            err << "bench_host: " << error << '\n';
            return 1;
        }
    } else if (const QString server = argument(args, QStringLiteral("--postgres"));
               !server.isEmpty()) {
        pgServer = server.split(QLatin1Char(':'));
        // --shared NAME: a database that several hosts write at once, made by the caller.
        const QString shared = argument(args, QStringLiteral("--shared"));
        if (shared.isEmpty())
            pgDatabase = QStringLiteral("ledgerwell_bench_%1").arg(app.applicationPid());
        if (pgServer.size() < 3 ||
            (shared.isEmpty() && !onPostgres(pgServer, QStringLiteral("postgres"),
                                             "CREATE DATABASE " + pgDatabase, error))) {
            err << "bench_host: " << error << '\n';
            return 1;
        }
        connectionString =
            QStringLiteral("Provider=PostgreSQL;Data Source=%1:%2;Initial Catalog=%3;"
                           "User ID=%4;Password=%5")
                .arg(pgServer.at(0), pgServer.at(1), shared.isEmpty() ? pgDatabase : shared,
                     pgServer.at(2), pgServer.value(3));
        if (!createSchema(connectionString, error)) {
            err << "bench_host: " << error << '\n';
            return 1;
        }
    } else {
        err << "usage: ledgerwell_bench_host --sqlite FILE | --postgres HOST:PORT:USER:PASSWORD "
               "[--shared DB] [--raw 0|1] [--expect N] [--idle-ms MS] [--log PATH] [--window]\n";
        return 2;
    }

    const Result<QString> registered =
        registerComponentLibrary(QStringLiteral(LEDGERWELL_PATH), ClassRegistry());
    if (!registered) {
        err << "bench_host: " << registered.error().description << '\n';
        return 1;
    }
    QLibrary ledgerwell(QStringLiteral(LEDGERWELL_PATH));
    ledgerwell.load();
    const auto counters =
        reinterpret_cast<LedgerwellCountersFn>(ledgerwell.resolve("LedgerwellCounters"));

    MainModule state;
    ScoringComponentFactory factory;
    DatagramIntake intake(state, factory);
    // HTTP posts on the same port, as the program takes them.
    HttpIntake http(state, intake);
    state.RawLogging = qint16(argument(args, QStringLiteral("--raw"), QStringLiteral("1")).toInt());
    const QString log =
        argument(args, QStringLiteral("--log"), home.filePath(QStringLiteral("Process.log")));
    state.ConnStrings[1] = connectionString;
    quint16 port = 0;
    if (state.udpPeerB.Load(1).ok()) {
        for (int attempt = 0; attempt < 20 && !port; ++attempt) {
            QUdpSocket probe;
            probe.bind(QHostAddress::AnyIPv4, 0);
            const quint16 candidate = probe.localPort();
            probe.close();
            if (state.udpPeerB.element(1)->Bind(candidate).ok() && http.port(1) == candidate)
                port = candidate;
            else
                state.udpPeerB.element(1)->Close();
        }
    }
    if (!port) {
        err << "bench_host: no port could be bound\n";
        return 1;
    }
    state.ListView1.add(
        {ConnKey(1), QString::number(port), connectionString, QStringLiteral("False"), log});
    // The status line is set for every datagram; with --window the main window also shows
    // it, which adds the cost of drawing the label.
    std::unique_ptr<MainForm> window;
    if (args.contains(QStringLiteral("--window"))) {
        window = std::make_unique<MainForm>(state);
        window->resize(800, 400);
        window->show();
    }

    const quint64 expect =
        argument(args, QStringLiteral("--expect"), QStringLiteral("0")).toULongLong();
    const qint64 idleMs =
        argument(args, QStringLiteral("--idle-ms"), QStringLiteral("3000")).toLongLong();
    out << "port=" << port << '\n'
        << "receive_buffer=" << state.udpPeerB.element(1)->receiveBufferBytes() << '\n';
    out.flush();

    const qint64 cpuStart = cpuMicros(RUSAGE_SELF);
    const std::map<QString, qint64> threadsStart = threadCpu();
    const qint64 readerSleepsStart = voluntarySwitches(QStringLiteral("varnock-reader"));
    quint64 peakPending = 0;
    QElapsedTimer sinceLast, running;
    running.start();
    quint64 lastReceived = 0;
    qint64 firstAt = -1, lastAt = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        LedgerwellCounterSet set = {};
        counters(&set);
        peakPending = qMax<quint64>(peakPending, set.datagramsPending);
        if (set.datagramsReceived != lastReceived) {
            if (firstAt < 0)
                firstAt = running.elapsed();
            lastAt = running.elapsed();
            lastReceived = set.datagramsReceived;
            sinceLast.start();
        }
        const bool complete = expect > 0 && set.datagramsReceived >= expect;
        const bool quiet = set.datagramsReceived > 0 && sinceLast.elapsed() > idleMs;
        const bool hopeless = set.datagramsReceived == 0 && running.elapsed() > 120000;
        if (!((complete || quiet) && set.datagramsPending == 0) && !hopeless)
            return;
        const qint64 cpu = cpuMicros(RUSAGE_SELF) - cpuStart;
        const auto perDatagram = [&](qint64 micros) {
            return QString::number(
                set.datagramsReceived ? double(micros) / double(set.datagramsReceived) : 0, 'f', 2);
        };
        // Threads by role: the program's (named after the executable), Ledgerwell's writer and
        // log threads, the socket reader, and the rest.
        qint64 program = 0, writer = 0, logs = 0, reader = 0, other = 0;
        for (const auto &[name, micros] : threadCpu()) {
            const qint64 spent = micros - (threadsStart.count(name) ? threadsStart.at(name) : 0);
            if (name == QStringLiteral("ledgerwell"))
                writer += spent;
            else if (name == QStringLiteral("ledgerwell-log"))
                logs += spent;
            else if (name == QStringLiteral("varnock-reader"))
                reader += spent;
            else if (name.startsWith(QStringLiteral("ledgerwell_benc")))
                program += spent;
            else
                other += spent;
        }
        rusage usage = {};
        getrusage(RUSAGE_SELF, &usage);
        out << "received=" << set.datagramsReceived << '\n'
            << "handed_over=" << intake.handedOver() << '\n'
            << "dropped_by_intake=" << intake.dropped() << '\n'
            << "rejected=" << set.datagramsRejected << '\n'
            << "refused=" << set.datagramsRefused << '\n'
            << "reader_refused=" << state.udpPeerB.element(1)->refusedCount() << '\n'
            << "kernel_drops=" << kernelDrops(port) << '\n'
            << "rows_written=" << set.rowsWritten << '\n'
            << "rows_updated=" << set.rowsUpdated << '\n'
            << "commits=" << set.commits << '\n'
            << "receive_seconds=" << double(lastAt - qMax<qint64>(firstAt, 0)) / 1000.0 << '\n'
            << "cpu_us_per_datagram=" << perDatagram(cpu) << '\n'
            << "program_thread_cpu_us_per_datagram=" << perDatagram(program) << '\n'
            << "writer_thread_cpu_us_per_datagram=" << perDatagram(writer) << '\n'
            << "log_thread_cpu_us_per_datagram=" << perDatagram(logs) << '\n'
            << "reader_thread_cpu_us_per_datagram=" << perDatagram(reader) << '\n'
            << "other_threads_cpu_us_per_datagram=" << perDatagram(other) << '\n'
            << "reader_wakeups_per_1000_datagrams="
            << perDatagram(
                   1000 * (voluntarySwitches(QStringLiteral("varnock-reader")) - readerSleepsStart))
            << '\n'
            << "peak_rss_mib=" << QString::number(double(usage.ru_maxrss) / 1024.0, 'f', 1) << '\n'
            << "peak_datagrams_in_flight=" << peakPending << '\n';
        out.flush();
        app.quit();
    });
    poll.start(50);
    const int result = app.exec();
    if (!pgDatabase.isEmpty()) {
        QString ignored;
        onPostgres(pgServer, QStringLiteral("postgres"),
                   QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(pgDatabase),
                   ignored);
    }
    return result;
}
