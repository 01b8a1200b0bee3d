#include "LibraryState.h"

#include "ConnectionSettings.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <pthread.h>

namespace ledgerwell {

namespace {

constexpr std::chrono::milliseconds OpenRetryDelay{1000};
constexpr std::chrono::milliseconds IdleWake{50};
constexpr std::chrono::milliseconds FlushPeriod{50}; // how far a log file may lag
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
    , m_writer([this] { writerLoop(); })
    , m_flusher([this] { flusherLoop(); })
{
}

LibraryState::~LibraryState()
{
    shutdown();
}

bool LibraryState::shutdown()
{
    std::unique_lock lock(m_wakeMutex);
    if (m_shutDown)
        return true;
    m_stop = true;
    m_wake.notify_all();
    // The writer gives the database its wait, then needs time to keep what is left.
    if (!m_wake.wait_for(lock, m_unloadWait + std::chrono::seconds(30),
                         [this] { return m_writerDone; }))
        return false;
    lock.unlock();
    m_writer.join();
    m_flusher.join();
    m_shutDown = true;
    return true;
}

void LibraryState::wakeWriter()
{
    std::lock_guard lock(m_wakeMutex);
    m_wakeRequested = true;
    m_wake.notify_all();
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
    // A database that could not be opened is tried again after a pause, not for every
    // datagram of a busy port.
    const Clock::time_point now = Clock::now();
    const auto failed = m_openFailures.find(key);
    if (failed != m_openFailures.end() && now < failed->second.retryAt) {
        error = failed->second.error;
        return nullptr;
    }
    std::optional<ConnectionSettings> settings = parseConnectionString(connectionString, error);
    PooledConnection *connection = settings ? pooled(*settings, log, error) : nullptr;
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
PooledConnection *LibraryState::pooled(const ConnectionSettings &settings, ProcessLog *log,
                                       std::string &error)
{
    const std::string identity = databaseIdentity(settings);
    {
        std::lock_guard lock(m_poolMutex);
        const auto found = m_pool.find(identity);
        if (found != m_pool.end())
            return found->second.get();
    }
    std::unique_ptr<PooledConnection> opened =
        PooledConnection::open(settings, m_counters, m_logs, log, error);
    if (!opened)
        return nullptr;
    std::lock_guard lock(m_poolMutex);
    return m_pool.emplace(identity, std::move(opened)).first->second.get();
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
    bool wake = false;
    if (!pooled || !pooled->process(datagram, framed, log, error, wake)) {
        add(m_counters.datagramsRefused);
        // Too much waiting is a pause, not a fault: the same data later will be taken.
        return pooled && pooled->full() ? SC_E_PENDING : SC_E_FAIL;
    }
    if (wake)
        wakeWriter();
    return SC_OK;
}

void LibraryState::writeAll(bool final)
{
    std::vector<PooledConnection *> connections;
    {
        std::lock_guard lock(m_poolMutex);
        connections.reserve(m_pool.size());
        for (const auto &[key, connection] : m_pool)
            connections.push_back(connection.get());
    }
    const Clock::time_point now = Clock::now();
    for (PooledConnection *connection : connections)
        connection->writeDue(now, final, now + m_unloadWait);
    if (final)
        m_logs.flushAll(true); // otherwise the log thread flushes them
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

void LibraryState::writerLoop()
{
    pthread_setname_np(pthread_self(), "ledgerwell"); // tells it apart in top and perf
    std::unique_lock lock(m_wakeMutex);
    while (!m_stop) {
        Clock::time_point due = Clock::now() + IdleWake;
        {
            std::lock_guard poolLock(m_poolMutex);
            const Clock::time_point now = Clock::now();
            for (const auto &[key, connection] : m_pool) {
                const Clock::time_point next = connection->nextDue(now);
                if (next < due)
                    due = next;
            }
        }
        m_wake.wait_until(lock, due, [this] { return m_stop || m_wakeRequested; });
        m_wakeRequested = false;
        if (m_stop)
            break;
        lock.unlock();
        writeAll(false);
        lock.lock();
    }
    lock.unlock();
    writeAll(true);
    lock.lock();
    m_writerDone = true;
    m_wake.notify_all();
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
