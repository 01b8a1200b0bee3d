#pragma once

#include <algorithm>
#include <cstdint>

// How long the reader thread waits before it looks at its sockets again after a look that found
// datagrams. Long enough that a steady flood is read in batches, not one wake-up (and, on a port
// of several sockets, one system call) per datagram; short enough that, at the rate the last
// look saw, no more than the room allowed arrives meanwhile, nor, should the rate jump to a
// burst, more than twice that. A burst thus shortens the pause at once.
struct ReaderPause
{
    static constexpr std::int64_t ShortestNs = 20 * 1000;
    // The longest pause for a small buffer, and for any.
    static constexpr std::int64_t LongestSmallNs = 250 * 1000;
    static constexpr std::int64_t LongestNs = 10 * 1000 * 1000;
    // A burst as fast as a sender on this kind of machine sends: 500,000 a second.
    static constexpr std::int64_t BurstNsPerDatagram = 2000;

    // read: the datagrams the last look found; sinceLastLookNs: the time from the end of the look
    // before it to the start of this one, over which they arrived; room: the datagrams that may
    // pile up in the smallest port's buffer meanwhile. 0 when nothing was read: the reader then
    // waits for the next datagram instead.
    static std::int64_t after(std::int64_t read, std::int64_t sinceLastLookNs, std::int64_t room)
    {
        if (read <= 0)
            return 0;
        const std::int64_t untilRoom = std::max<std::int64_t>(sinceLastLookNs, 0) * room / read;
        const std::int64_t longest =
            std::clamp(room * BurstNsPerDatagram, LongestSmallNs, LongestNs);
        return std::clamp(untilRoom, ShortestNs, longest);
    }
};
