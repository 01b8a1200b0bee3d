// Memory against what senders send: hands Ledgerwell.so, through its C interface as the
// program does, 600,000 datagrams of one growing kind and prints the resident memory after
// 100,000 and after 600,000 of them, with the component's memory counters.
//
//   ledgerwell_memory_bench chat|cvars|servers [LIBRARY]
//   ledgerwell_memory_bench log FILE [LIBRARY]
//
//   chat     one server, one game, a new chat line in every datagram
//   cvars    one server, a new cvar value in every datagram
//   servers  a new sender address and port for every datagram
//   log      every line of FILE once, raw logging on, then the CPU each thread spent per
//            datagram: the program thread's share without sockets, for a profiler (callgrind
//            --separate-threads=yes gives instructions per thread that load does not blur)
//
// The datagrams are handed over no faster than the writer commits them (at most 2,000 wait),
// so the figures are what the scoring state holds, not a backlog of rows.
#include "LedgerwellCounters.h"
#include "ThreadCpu.h"

#include "database/CreateSchema.h"
#include "intake/ScoringAbi.h"
#include "platform/ConsoleOperator.h"
#include "platform/SqlConnection.h"
#include "state/MainModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <dlfcn.h>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Library
{
    ScoringComponentClassIdFn classId = nullptr;
    ScoringComponentCreateFn create = nullptr;
    ScoringComponentFinishFn finish = nullptr;
    LedgerwellCountersFn counters = nullptr;
};

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

LedgerwellCounterSet counters(const Library &library)
{
    LedgerwellCounterSet set = {};
    library.counters(&set);
    return set;
}

void waitBelow(const Library &library, quint64 pending)
{
    while (counters(library).datagramsPending > pending)
        QThread::msleep(5);
}

std::string logLine(const std::string &event)
{
    return "\xFF\xFF\xFF\xFFlog L 03/20/2026 - 20:00:00: " + event + std::string("\n\0", 2);
}

// The i-th datagram of the kind, and the sender it comes from.
std::string datagram(const std::string &kind, int i, std::string &ip, int &port)
{
    const std::string n = std::to_string(i);
    ip = "198.51.100.7";
    port = 27015;
    if (kind == "chat")
        return logLine("\"Ann<2><STEAM_0:1:2><CT>\" say \"message " + n + "\"");
    if (kind == "cvars")
        return logLine("Server cvar \"sv_tags\" = \"tag" + n + "\"");
    ip = "10." + std::to_string(i >> 16 & 255) + "." + std::to_string(i >> 8 & 255) + "." +
         std::to_string(i & 255);
    port = 27015 + i % 7;
    return logLine("Log file started (file \"logs/L0320000.log\") (game \"/srv/tf\") "
                   "(version \"7501\")");
}

bool hand(const Library &library, const std::string &connection, const std::string &logPath,
          const std::string &payload, const std::string &ip, int port, bool raw = false)
{
    ScoreObject *object = nullptr;
    if (library.create(library.classId(), &object) < 0 || !object)
        return false;
    const ScoreObjectVtbl *v = object->vtbl;
    v->SetConnectionString(object, connection.c_str());
    v->SetListenPort(object, 28000);
    v->SetSenderIP(object, ip.c_str());
    v->SetSenderPort(object, port);
    v->SetLogPath(object, logPath.c_str());
    v->SetRawMode(object, raw ? 1 : 0);
    v->SetPayload(object, reinterpret_cast<const uint8_t *>(payload.data()), payload.size());
    const bool ok = v->Process(object) >= 0;
    if (!ok)
        std::fprintf(stderr, "Process failed: %s\n", v->ErrorText(object));
    v->Release(object);
    return ok;
}

void report(const Library &library, int datagrams, long startKiB)
{
    waitBelow(library, 0);
    const LedgerwellCounterSet set = counters(library);
    const long kib = residentKiB();
    std::printf("%7d datagrams: RSS %7.1f MiB (+%6.1f MiB)  names %llu  servers %llu (dropped "
                "%llu)  links %llu (dropped %llu)\n",
                datagrams, kib / 1024.0, (kib - startKiB) / 1024.0,
                (unsigned long long)set.namesCached, (unsigned long long)set.serversCached,
                (unsigned long long)set.serversDropped, (unsigned long long)set.linksCached,
                (unsigned long long)set.linksDropped);
    std::fflush(stdout);
}

int handLog(const Library &library, const std::string &connection, const std::string &logPath,
            const QString &file)
{
    QFile log(file);
    if (!log.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(file));
        return 1;
    }
    std::vector<std::string> datagrams;
    for (const QByteArray &line : log.readAll().split('\n')) {
        if (!line.trimmed().isEmpty())
            datagrams.push_back("\xFF\xFF\xFF\xFFlog " + line.toStdString() +
                                std::string("\n\0", 2));
    }
    // The first datagram opens the database; until it is open the writer scores what waits.
    if (datagrams.empty() ||
        !hand(library, connection, logPath, datagrams.front(), "198.51.100.7", 27015, true))
        return 1;
    waitBelow(library, 0);
    const std::map<QString, qint64> before = threadCpu();
    int handed = 0;
    for (const std::string &payload : datagrams) {
        if (!hand(library, connection, logPath, payload, "198.51.100.7", 27015, true))
            return 1;
        if (++handed % 1000 == 0)
            waitBelow(library, 20000);
    }
    waitBelow(library, 0);
    std::printf("%d datagrams, CPU microseconds per datagram by thread:\n", handed);
    for (auto [name, micros] : threadCpu()) {
        if (const auto earlier = before.find(name); earlier != before.end())
            micros -= earlier->second;
        std::printf("  %-16s %6.2f\n", qPrintable(name), double(micros) / std::max(1, handed));
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const std::string kind = argc > 1 ? argv[1] : "";
    const bool fromLog = kind == "log" && argc > 2;
    if (kind != "chat" && kind != "cvars" && kind != "servers" && !fromLog) {
        std::fprintf(stderr, "usage: ledgerwell_memory_bench chat|cvars|servers [LIBRARY]\n"
                             "       ledgerwell_memory_bench log FILE [LIBRARY]\n");
        return 2;
    }
    const int libraryArgument = fromLog ? 3 : 2;
    const char *libraryPath = argc > libraryArgument ? argv[libraryArgument] : LEDGERWELL_PATH;
    void *handle = dlopen(libraryPath, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    Library library;
    library.classId =
        reinterpret_cast<ScoringComponentClassIdFn>(dlsym(handle, "ScoringComponentClassId"));
    library.create =
        reinterpret_cast<ScoringComponentCreateFn>(dlsym(handle, "ScoringComponentCreate"));
    library.finish =
        reinterpret_cast<ScoringComponentFinishFn>(dlsym(handle, "ScoringComponentFinish"));
    library.counters = reinterpret_cast<LedgerwellCountersFn>(dlsym(handle, "LedgerwellCounters"));
    if (!library.classId || !library.create || !library.counters) {
        std::fprintf(stderr, "not a Ledgerwell library\n");
        return 1;
    }

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("memory.db"));
    QFile(file).open(QIODevice::WriteOnly); // the program never makes the file itself
    MainModule state;
    state.ConnStrings[1] = QStringLiteral("Provider=SQLite;Data Source=") + file;
    ConsoleOperator op;
    const SchemaOutcome schema = CreateSchema(state, 1, op, newSqlConnection);
    if (!schema.status.ok()) {
        std::fprintf(stderr, "no statistics tables: %s\n",
                     qPrintable(schema.status.error().description));
        return 1;
    }
    const std::string connection = state.ConnStrings[1].toStdString();
    const std::string logPath = dir.filePath(QStringLiteral("memory.log")).toStdString();

    if (fromLog) {
        const int result = handLog(library, connection, logPath, QString::fromLocal8Bit(argv[2]));
        if (library.finish)
            library.finish();
        return result;
    }
    std::string ip;
    int port = 0;
    // One game for the chat to belong to; the first datagram opens the database.
    if (!hand(library, connection, logPath, logLine("Loading map \"cp_badlands\""), "198.51.100.7",
              27015))
        return 1;
    waitBelow(library, 0);
    const long startKiB = residentKiB();
    std::printf("%s, %s\n        0 datagrams: RSS %7.1f MiB\n", kind.c_str(), libraryPath,
                startKiB / 1024.0);
    for (int i = 1; i <= 600000; ++i) {
        const std::string payload = datagram(kind, i, ip, port); // sets ip and port first
        if (!hand(library, connection, logPath, payload, ip, port))
            return 1;
        if (i % 1000 == 0)
            waitBelow(library, 2000);
        if (i == 100000 || i == 600000)
            report(library, i, startKiB);
    }
    if (library.finish)
        library.finish();
    return 0;
}
