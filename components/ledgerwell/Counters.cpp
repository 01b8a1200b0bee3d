#include "Counters.h"

#include <iterator>

namespace ledgerwell {

static_assert(std::size(LedgerwellCounterSet{}.commitBuckets) == SC_COMMIT_BUCKETS + 1);

void Counters::commitTook(std::chrono::steady_clock::duration duration)
{
    static constexpr double Bounds[] = SC_COMMIT_BUCKET_BOUNDS;
    const double seconds = std::chrono::duration<double>(duration).count();
    std::size_t bucket = 0;
    while (bucket < std::size(Bounds) && seconds > Bounds[bucket])
        ++bucket;
    add(commitBuckets[bucket]);
    add(commitMicroseconds,
        std::uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(duration).count()));
}

void Counters::copyTo(LedgerwellCounterSet &out) const
{
    const auto read = [](const std::atomic<std::uint64_t> &counter) {
        return counter.load(std::memory_order_relaxed);
    };
    out.datagramsReceived = read(datagramsReceived);
    out.datagramsRejected = read(datagramsRejected);
    out.datagramsRefused = read(datagramsRefused);
    out.datagramsPending = read(datagramsPending);
    out.datagramsCommitted = read(datagramsCommitted);
    out.linesScored = read(linesScored);
    out.linesRejected = read(linesRejected);
    out.linesRepaired = read(linesRepaired);
    out.rowsWritten = read(rowsWritten);
    out.rowsUpdated = read(rowsUpdated);
    out.rowsDropped = read(rowsDropped);
    out.commits = read(commits);
    out.commitFailures = read(commitFailures);
    out.reconnects = read(reconnects);
    out.linesAmbiguous = read(linesAmbiguous);
    out.datagramsUnknownSender = read(datagramsUnknownSender);
    out.datagramsWrongSecret = read(datagramsWrongSecret);
    out.linesIgnored = read(linesIgnored);
    out.commitMicroseconds = read(commitMicroseconds);
    for (std::size_t i = 0; i < std::size(commitBuckets); ++i)
        out.commitBuckets[i] = read(commitBuckets[i]);
}

} // namespace ledgerwell
