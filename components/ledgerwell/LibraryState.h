#pragma once

#include "ConnectionSettings.h"

#include "Counters.h"
#include "PooledConnection.h"
#include "ProcessLog.h"
#include "SenderGate.h"
#include "TrustRules.h"

#include "intake/ScoringAbi.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

namespace ledgerwell {

// Everything the component keeps while it is loaded: the trusted senders, the pool of
// databases (one per connection string, like session pooling), each with its own writer
// thread, so a database that hangs holds back no other, the open log files, the counters,
// and the thread that flushes the log files, which a database that hangs cannot hold back.
class LibraryState
{
public:
    explicit LibraryState(TrustRules trust);
    ~LibraryState();
    LibraryState(const LibraryState &) = delete;
    LibraryState &operator=(const LibraryState &) = delete;

    ScStatus process(const Datagram &datagram, std::string &error);
    void counters(LedgerwellCounterSet &out);

    // Commits what the databases take within the unload wait, keeps the rest in files for
    // the next start and stops the writers. False when a writer did not end in time; the
    // state must then be left alone, as the writer may still use it.
    bool shutdown();
    // After shutdown: datagrams whose rows could not be written, kept in a file or lost.
    std::uint64_t unwritten() const;
    // Datagrams taken whose rows are not written yet.
    std::uint64_t pending() const { return m_counters.datagramsPending.load(); }

private:
    using Clock = std::chrono::steady_clock;

    PooledConnection *connection(std::string_view connectionString, ProcessLog *log,
                                 std::string &error);
    PooledConnection *pooled(const ConnectionSettings &settings, ProcessLog *log);
    ProcessLog *logFor(std::string_view path, std::string &error);
    void flusherLoop();

    Counters m_counters;
    ProcessLogs m_logs;
    SenderGate m_gate; // Process's own

    // Process may be called from any thread, one call at a time.
    std::mutex m_processMutex;
    std::string m_lastConnectionString;
    PooledConnection *m_lastConnection = nullptr;
    std::string m_lastLogPath;
    ProcessLog *m_lastLog = nullptr;
    struct OpenFailure
    {
        Clock::time_point retryAt;
        std::string error;
    };
    std::unordered_map<std::string, OpenFailure> m_openFailures;

    mutable std::mutex m_poolMutex;
    std::unordered_map<std::string, std::unique_ptr<PooledConnection>> m_pool; // by database
    std::unordered_map<std::string, PooledConnection *> m_byString; // the program's thread's

    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    const std::chrono::seconds m_unloadWait;
    bool m_stop = false;
    bool m_shutDown = false;
    std::thread m_flusher;
};

} // namespace ledgerwell
