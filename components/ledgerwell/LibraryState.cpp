#include "LibraryState.h"

#include "ConnectionSettings.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <pthread.h>

namespace ledgerwell {

namespace {

constexpr std::chrono::milliseconds OpenRetryDelay{1000};
constexpr std::chrono::milliseconds FlushPeriod{50}; // how far a log file may lag
// After the unload wait, the time a writer has to keep what is left in a file.
constexpr std::chrono::seconds KeepTime{30};
constexpr std::chrono::milliseconds InterruptPeriod{100};
// How long an unload waits for a database that does not take the waiting rows before they
// are kept in a file: LEDGERWELL_UNLOAD_WAIT seconds, 30 unless set.
std::chrono::seconds unloadWait()
{
    const char *text = std::getenv("LEDGERWELL_UNLOAD_WAIT");
    if (!text || !*text)
        return std::chrono::seconds(30);
    char *end = nullptr;
    const long seconds = std::strtol(text, &end, 10);
    if (*end != '\0' || seconds < 0)
        return std::chrono::seconds(30);
    return std::chrono::seconds(std::min(seconds, 3600L));
}

} // namespace

LibraryState::LibraryState(TrustRules trust)
    : m_gate(std::move(trust), m_counters)
    , m_unloadWait(unloadWait())
    , m_flusher([this] { flusherLoop(); })
{
}

LibraryState::~LibraryState()
{
    shutdown();
}

bool LibraryState::shutdown()
{
    if (m_shutDown)
        return true;
    std::vector<PooledConnection *> connections;
    {
        std::lock_guard lock(m_poolMutex);
        for (const auto &[key, connection] : m_pool)
            connections.push_back(connection.get());
    }
    // One deadline for all: the databases are waited for side by side, not one after another.
    const Clock::time_point giveUpAt = Clock::now() + m_unloadWait;
    for (PooledConnection *connection : connections)
        connection->stop(giveUpAt);
    for (PooledConnection *connection : connections) {
        if (connection->waitStopped(giveUpAt))
            continue;
        // A statement that waits for another session's lock is given up, again and again
        // in case a new one began just then, until the writer has kept what is left.
        while (!connection->waitStopped(Clock::now() + InterruptPeriod)) {
            if (Clock::now() >= giveUpAt + KeepTime)
                return false;
            connection->interrupt();
        }
    }
    {
        std::lock_guard lock(m_wakeMutex);
        m_stop = true;
        m_wake.notify_all();
    }
    m_flusher.join();
    m_logs.flushAll(true);
    m_shutDown = true;
    return true;
}

ProcessLog *LibraryState::logFor(std::string_view path, std::string &error)
{
    if (m_lastLog && path == m_lastLogPath)
        return m_lastLog;
    ProcessLog *log = m_logs.get(std::string(path), error);
    if (log) {
        m_lastLogPath.assign(path);
        m_lastLog = log;
    }
    return log;
}

PooledConnection *LibraryState::connection(std::string_view connectionString, ProcessLog *log,
                                           std::string &error)
{
    if (m_lastConnection && connectionString == m_lastConnectionString)
        return m_lastConnection;
    const std::string key(connectionString);
    if (const auto known = m_byString.find(key); known != m_byString.end()) {
        m_lastConnectionString = key;
        m_lastConnection = known->second;
        return m_lastConnection;
    }
    // A connection string that cannot be read is read again after a pause, not for every
    // datagram of a busy port.
    const Clock::time_point now = Clock::now();
    const auto failed = m_openFailures.find(key);
    if (failed != m_openFailures.end() && now < failed->second.retryAt) {
        error = failed->second.error;
        return nullptr;
    }
    std::optional<ConnectionSettings> settings = parseConnectionString(connectionString, error);
    PooledConnection *connection = settings ? pooled(*settings, log) : nullptr;
    if (!connection) {
        m_openFailures[key] = {now + OpenRetryDelay, error};
        if (log)
            log->note(error + " Datagrams for this connection are refused until it can be "
                              "opened.");
        return nullptr;
    }
    m_openFailures.erase(key);
    m_byString.emplace(key, connection);
    m_lastConnectionString = key;
    m_lastConnection = connection;
    return connection;
}

// One pooled connection per database, however its connection strings name it: two writers
// of one process on one database would take the same Records.
PooledConnection *LibraryState::pooled(const ConnectionSettings &settings, ProcessLog *log)
{
    const std::string identity = databaseIdentity(settings);
    {
        std::lock_guard lock(m_poolMutex);
        const auto found = m_pool.find(identity);
        if (found != m_pool.end())
            return found->second.get();
    }
    auto made = std::make_unique<PooledConnection>(settings, m_counters, m_logs,
                                                   log ? log->path() : std::string());
    std::lock_guard lock(m_poolMutex);
    return m_pool.emplace(identity, std::move(made)).first->second.get();
}

ScStatus LibraryState::process(const Datagram &datagram, std::string &error)
{
    std::lock_guard lock(m_processMutex);
    add(m_counters.datagramsReceived);
    ProcessLog *log = nullptr;
    if (!datagram.logPath.empty()) {
        log = logFor(datagram.logPath, error);
        if (!log) {
            error += "; the datagram was not scored.";
            add(m_counters.datagramsRefused);
            return SC_E_FAIL;
        }
    }
    const FramedDatagram framed = unframe(datagram.payload);
    // A refused datagram is no failure for the program: a flood of forged ones must not
    // push real errors out of its status line. The log file tells of them; the status tells
    // an HTTP sender that nothing was taken.
    if (!m_gate.admit(datagram, framed, log))
        return SC_S_FALSE;
    PooledConnection *pooled = connection(datagram.connectionString, log, error);
    if (!pooled || !pooled->process(datagram, framed, log, error)) {
        add(m_counters.datagramsRefused);
        // Too much waiting is a pause, not a fault: the same data later will be taken.
        return pooled && pooled->full() ? SC_E_PENDING : SC_E_FAIL;
    }
    return SC_OK;
}

void LibraryState::counters(LedgerwellCounterSet &out)
{
    m_counters.copyTo(out);
    std::lock_guard lock(m_poolMutex);
    for (const auto &[key, connection] : m_pool)
        connection->memory(out);
}

std::uint64_t LibraryState::unwritten() const
{
    std::lock_guard lock(m_poolMutex);
    std::uint64_t datagrams = 0;
    for (const auto &[key, connection] : m_pool)
        datagrams += connection->unwritten();
    return datagrams;
}

void LibraryState::flusherLoop()
{
    pthread_setname_np(pthread_self(), "ledgerwell-log");
    std::unique_lock lock(m_wakeMutex);
    while (!m_wake.wait_for(lock, FlushPeriod, [this] { return m_stop; })) {
        lock.unlock();
        m_logs.flushAll(false);
        lock.lock();
    }
}

} // namespace ledgerwell
