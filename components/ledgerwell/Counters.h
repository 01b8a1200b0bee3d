#pragma once

#include "LedgerwellCounters.h"

#include "intake/ScoringAbi.h"

#include <atomic>
#include <chrono>
#include <cstdint>

namespace ledgerwell {

// What the component has done since it was loaded, for tests and the benchmark.
struct Counters
{
    std::atomic<std::uint64_t> datagramsReceived{0};
    std::atomic<std::uint64_t> datagramsRejected{0};
    std::atomic<std::uint64_t> datagramsRefused{0};
    std::atomic<std::uint64_t> datagramsPending{0};
    std::atomic<std::uint64_t> datagramsCommitted{0};
    std::atomic<std::uint64_t> linesScored{0};
    std::atomic<std::uint64_t> linesRejected{0};
    std::atomic<std::uint64_t> linesRepaired{0};
    std::atomic<std::uint64_t> linesAmbiguous{0};
    std::atomic<std::uint64_t> rowsWritten{0};
    std::atomic<std::uint64_t> rowsUpdated{0};
    std::atomic<std::uint64_t> rowsDropped{0};
    std::atomic<std::uint64_t> commits{0};
    std::atomic<std::uint64_t> commitFailures{0};
    std::atomic<std::uint64_t> reconnects{0};
    std::atomic<std::uint64_t> datagramsUnknownSender{0};
    std::atomic<std::uint64_t> datagramsWrongSecret{0};
    std::atomic<std::uint64_t> linesIgnored{0};
    std::atomic<std::uint64_t> commitMicroseconds{0};
    std::atomic<std::uint64_t> commitBuckets[SC_COMMIT_BUCKETS + 1] = {};

    void commitTook(std::chrono::steady_clock::duration duration);
    void copyTo(LedgerwellCounterSet &out) const;
};

inline void add(std::atomic<std::uint64_t> &counter, std::uint64_t amount = 1)
{
    counter.fetch_add(amount, std::memory_order_relaxed);
}

} // namespace ledgerwell
