// The writer thread of a pooled connection: it opens the database, reads the names it
// holds, scores what came meanwhile, then writes until it is stopped. Every wait for the
// database happens here, so the program's thread never waits for it.
#include "PooledConnection.h"

#include "PgDatabase.h"
#include "SqliteDatabase.h"

#include <pthread.h>

namespace ledgerwell {

namespace {

// In case a wake-up was missed: the writer looks at least this often.
constexpr std::chrono::milliseconds IdleWake{50};

} // namespace

PooledConnection::~PooledConnection()
{
    stop(Clock::now());
    if (m_thread.joinable())
        m_thread.join();
}

void PooledConnection::stop(Clock::time_point giveUpAt)
{
    std::lock_guard lock(m_wakeMutex);
    if (m_stop)
        return;
    m_stop = true;
    m_giveUpAt.store(giveUpAt.time_since_epoch().count());
    m_wake.notify_all();
}

bool PooledConnection::waitStopped(Clock::time_point until)
{
    std::unique_lock lock(m_wakeMutex);
    return m_wake.wait_until(lock, until, [this] { return m_stopped; });
}

void PooledConnection::interrupt()
{
    std::lock_guard lock(m_interruptMutex);
    if (m_interruptible)
        m_interruptible->interrupt();
}

bool PooledConnection::stopping()
{
    std::lock_guard lock(m_wakeMutex);
    return m_stop;
}

void PooledConnection::wakeWriter()
{
    std::lock_guard lock(m_wakeMutex);
    m_wakeRequested = true;
    m_wake.notify_all();
}

bool PooledConnection::ready()
{
    std::lock_guard lock(m_stateMutex);
    return m_ready;
}

void PooledConnection::run()
{
    pthread_setname_np(pthread_self(), "ledgerwell"); // tells it apart in top and perf
    std::string error;
    Ledger loaded;
    bool opened = false;
    // A stop makes one more attempt, whose waits end when the stop gives up.
    for (bool last = false; !last;) {
        last = stopping();
        loaded = Ledger();
        if ((opened = openDatabase(error) && load(loaded, error)))
            break;
        openFailed(error);
        std::unique_lock lock(m_wakeMutex);
        m_wake.wait_for(lock, RetryDelay, [this] { return m_stop; });
    }
    // Never opened: what came is scored without the names the database holds, and kept.
    scoreHeld(opened ? &loaded : nullptr);
    writeUntilStopped();
    std::lock_guard lock(m_wakeMutex);
    m_stopped = true;
    m_wake.notify_all();
}

bool PooledConnection::openDatabase(std::string &error)
{
    std::unique_ptr<Database> db;
    if (m_settings.engine == ConnectionSettings::Engine::Sqlite)
        db = SqliteDatabase::open(m_settings.file, error, &m_giveUpAt);
    else
        db = PgDatabase::open(m_settings, error);
    if (!db)
        return false;
    std::lock_guard dbLock(m_dbMutex);
    m_db = std::move(db);
    {
        std::lock_guard lock(m_interruptMutex);
        m_interruptible = m_db.get();
    }
    noteTables(m_db->refreshTables(),
               m_logPath.empty() ? std::vector<std::string>{} : std::vector{m_logPath});
    // Before the names are read: the kept rows may make some of them.
    std::string ignored;
    replayKept(m_logPath.empty() ? nullptr : m_logs.get(m_logPath, ignored));
    m_recordsKept.store(m_numbers.kept(), std::memory_order_relaxed);
    return true;
}

// Datagrams that come while it fails are refused, so the program's status line tells.
void PooledConnection::openFailed(const std::string &error)
{
    {
        std::lock_guard dbLock(m_dbMutex);
        {
            std::lock_guard lock(m_interruptMutex);
            m_interruptible = nullptr;
        }
        m_db.reset();
    }
    m_answering.store(false, std::memory_order_relaxed);
    {
        std::lock_guard lock(m_stateMutex);
        m_openError = error;
    }
    if (!m_openFailing && !m_logPath.empty())
        m_logs.note(m_logPath, error + " Datagrams for this connection are refused until it "
                                       "can be opened.");
    m_openFailing = true;
}

void PooledConnection::scoreHeld(Ledger *loaded)
{
    bool wake = false;
    {
        std::lock_guard lock(m_stateMutex);
        if (loaded)
            m_ledger = std::move(*loaded);
        for (const Held &held : m_held) {
            Datagram datagram;
            datagram.senderIp = held.senderIp;
            datagram.senderPort = held.senderPort;
            datagram.rawMode = held.rawMode;
            datagram.payload = held.payload;
            score(datagram, unframe(datagram.payload), held.log, held.received, wake);
        }
        m_held.clear();
        m_heldBytes = 0;
        m_ready = loaded != nullptr;
        m_answering.store(m_ready, std::memory_order_relaxed);
        if (m_ready)
            m_openError.clear();
        else if (m_openError.empty())
            m_openError = "Ledgerwell is being unloaded; the datagram was not scored.";
    }
    if (m_openFailing && loaded && !m_logPath.empty())
        m_logs.note(m_logPath, "The database is open; datagrams for this connection are taken "
                               "again.");
}

void PooledConnection::writeUntilStopped()
{
    std::unique_lock lock(m_wakeMutex);
    while (!m_stop) {
        const Clock::time_point now = Clock::now();
        const Clock::time_point due = std::min(now + IdleWake, nextDue(now));
        m_wake.wait_until(lock, due, [this] { return m_stop || m_wakeRequested; });
        m_wakeRequested = false;
        if (m_stop)
            break;
        lock.unlock();
        writeDue(Clock::now(), false);
        lock.lock();
    }
    const Clock::time_point giveUpAt{Clock::duration(m_giveUpAt.load())};
    lock.unlock();
    writeDue(Clock::now(), true, giveUpAt);
}

} // namespace ledgerwell
