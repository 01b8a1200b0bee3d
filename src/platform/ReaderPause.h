#pragma once

#include <algorithm>
#include <cstdint>

// How long the reader thread waits before it looks at its sockets again after a look that found
// datagrams. Long enough that a steady flood is read in batches of about one system call's
// worth, not one wake-up per datagram; short enough that, at the rate the last look saw, no more
// than that arrives meanwhile. A burst thus shortens the pause at once, and the kernel's buffer
// (a few hundred datagrams without privileges) never has to hold more than a batch.
struct ReaderPause
{
    static constexpr std::int64_t LongestNs = 250 * 1000;
    static constexpr std::int64_t ShortestNs = 20 * 1000;

    // read: the datagrams the last look found; sinceLastLookNs: the time from the end of the look
    // before it to the start of this one, over which they arrived. 0 when nothing was read: the
    // reader then waits for the next datagram instead.
    static std::int64_t after(std::int64_t read, std::int64_t sinceLastLookNs, int batchSize)
    {
        if (read <= 0)
            return 0;
        const std::int64_t untilBatch =
            std::max<std::int64_t>(sinceLastLookNs, 0) * batchSize / read;
        return std::clamp(untilBatch, ShortestNs, LongestNs);
    }
};
