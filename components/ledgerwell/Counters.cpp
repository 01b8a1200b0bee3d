#include "Counters.h"

namespace ledgerwell {

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
}

} // namespace ledgerwell
