#pragma once

#include "ConnectionSettings.h"
#include "Counters.h"
#include "Database.h"
#include "Datagram.h"
#include "Framing.h"
#include "Ledger.h"
#include "LedgerwellCounters.h"
#include "ProcessLog.h"
#include "RowBatch.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ledgerwell {

// One database shared by every instance with the same connection string, with its scoring
// state, its group commit and a writer thread of its own. Process adds a datagram's rows to
// the open transaction; the transaction is sealed when it holds CommitDatagrams datagrams or
// is CommitAge old, and the writer thread commits sealed transactions. A transaction that
// fails is kept and written again; the Records are the component's own, so a second write
// cannot duplicate a row. Process never waits for the database: the writer thread opens it
// and reads the names it holds, and until then datagrams are held as they came.
class PooledConnection
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::uint32_t CommitDatagrams = 1000;
    static constexpr std::chrono::milliseconds CommitAge{50};
    static constexpr std::chrono::milliseconds RetryDelay{1000};
    // Rows kept while the database cannot take them; past this, datagrams are refused.
    static constexpr std::size_t MaxPendingBytes = std::size_t(512) << 20;

    // Starts the writer thread, which opens the database; nothing waits for it here.
    // logPath: the log of the first datagram, for notes about opening.
    PooledConnection(ConnectionSettings settings, Counters &counters, ProcessLogs &logs,
                     std::string logPath);
    // Stops the writer (at once, if stop was not asked before) and waits for it.
    ~PooledConnection();
    PooledConnection(const PooledConnection &) = delete;
    PooledConnection &operator=(const PooledConnection &) = delete;

    // On the program's thread. False (with error) when the datagram cannot be taken.
    bool process(const Datagram &datagram, const FramedDatagram &framed, ProcessLog *log,
                 std::string &error);
    // Whether the database is open and its names are read (for tests and the benchmark).
    bool ready();

    // The writer writes what it holds until giveUpAt, when every wait for the database ends
    // and what is left is kept in a file for the next start; then it ends.
    void stop(Clock::time_point giveUpAt);
    // Whether the writer has ended by `until`.
    bool waitStopped(Clock::time_point until);
    // Past the stop's deadline: the statement the writer waits for is given up.
    void interrupt();

    // Whether so much waits to be written that datagrams are refused.
    bool full() const
    {
        std::lock_guard lock(m_stateMutex);
        return fullLocked();
    }

    // On the writer thread: seals a transaction that is old enough and writes what is
    // sealed. final: everything now, at unload; what the database does not take by giveUpAt
    // is kept in a file for the next start.
    void writeDue(Clock::time_point now, bool final,
                  Clock::time_point giveUpAt = Clock::time_point::min());
    // What it holds in memory, added to the counters.
    void memory(LedgerwellCounterSet &out);
    // Datagrams whose rows were not written at unload: kept in a file, or lost.
    std::uint64_t unwritten() const { return m_unwritten.load(); }
    // When writeDue has something to do next.
    Clock::time_point nextDue(Clock::time_point now) const;

private:
    bool fullLocked() const
    {
        return m_pendingBytes.load(std::memory_order_relaxed) + m_open.bytes() + m_heldBytes >
               MaxPendingBytes;
    }
    // A datagram that came before the database was open, as it came.
    struct Held
    {
        std::string senderIp;
        std::int32_t senderPort = 0;
        std::int16_t rawMode = 1;
        std::string payload;
        ProcessLog *log = nullptr;
        std::string received;
    };

    // The writer thread (PooledConnectionThread.cpp).
    void run();
    bool openDatabase(std::string &error);
    void openFailed(const std::string &error);
    void scoreHeld(Ledger *loaded);
    void writeUntilStopped();
    void wakeWriter();
    bool stopping();

    void score(const Datagram &datagram, const FramedDatagram &framed, ProcessLog *log,
               const std::string &received, bool &wakeWriter);
    bool load(Ledger &ledger, std::string &error);
    void replayKept(ProcessLog *log);
    bool replaySegment(std::vector<RowBatch> &segment, std::uint64_t &datagrams, bool damaged,
                       std::string &error);
    void finish(std::deque<RowBatch> &work, Clock::time_point giveUpAt);
    void keepForNextStart(std::deque<RowBatch> &work);
    bool scoreLines(const FramedDatagram &framed, ServerState &server, ProcessLog *log,
                    std::int64_t &game);
    void seal();
    const std::string &receivedIso();
    bool writeOne(RowBatch &batch, bool final);
    void keepSpare(std::vector<RowBatch> &written);
    bool reopen(const RowBatch &batch);
    bool alreadyCommitted(const RowBatch &batch);
    void committed(RowBatch &batch, const WriteReport &report);
    void noteTables(const std::vector<std::string> &notes, const std::vector<std::string> &paths);
    void noteAll(const std::vector<std::string> &paths, const std::string &text);
    void noteFailure(const RowBatch &batch, const std::string &text);

    Counters &m_counters;
    ProcessLogs &m_logs;

    const ConnectionSettings m_settings;
    const std::string m_logPath;
    const std::string m_noLog; // of a datagram without a log file

    // The program's thread and the writer meet here.
    mutable std::timed_mutex m_stateMutex;
    bool m_ready = false;    // the database is open and the names are read
    std::string m_openError; // why the last attempt to open it failed
    std::vector<Held> m_held;
    std::size_t m_heldBytes = 0;
    Ledger m_ledger;
    RowBatch m_open;
    std::deque<RowBatch> m_sealed;
    std::vector<RowBatch> m_spare;           // written batches, emptied, for the next transactions
    std::atomic<std::int64_t> m_openedAt{0}; // ticks of m_open's first datagram, 0: empty
    std::atomic<std::int64_t> m_retryAt{0};  // ticks; sealed transactions wait until then
    std::atomic<bool> m_hasSealed{false};
    std::atomic<std::size_t> m_pendingBytes{0};
    std::atomic<std::size_t> m_pendingRows{0}; // of sealed transactions
    std::atomic<bool> m_answering{false};      // open, and the last transaction was committed

    // The writer's own.
    std::mutex m_dbMutex;
    std::unique_ptr<Database> m_db;
    std::mutex m_interruptMutex; // m_db for interrupt(), which must not wait for m_dbMutex
    Database *m_interruptible = nullptr;
    RecordNumbers m_numbers;
    // Its size, for the counters: they are read on the program's thread, which must not wait
    // for m_dbMutex while a transaction is written.
    std::atomic<std::size_t> m_recordsKept{0};
    std::set<std::string> m_tableNotes;
    bool m_failing = false;
    Clock::time_point m_writeStarted; // of the transaction being written

    // Where rows that could not be written at unload are kept.
    std::string m_identity;
    std::string m_keepFolder;
    std::atomic<std::uint64_t> m_unwritten{0};

    // This writer among all that share the database, and its transactions.
    std::string m_writer;
    std::int64_t m_transactions = 0;

    // The program's thread's own.
    std::string m_receivedIso;
    std::int64_t m_receivedSecond = -1;

    // Waking and stopping the writer. m_giveUpAt (ticks, 0: no stop yet) also ends the
    // database's waits for a lock.
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    bool m_wakeRequested = false;
    bool m_stop = false;
    bool m_stopped = false;
    std::atomic<std::int64_t> m_giveUpAt{0};
    bool m_openFailing = false; // the writer's own: a failure to open is noted once
    std::thread m_thread;       // last: it starts when everything else is made
};

} // namespace ledgerwell
