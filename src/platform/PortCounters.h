#pragma once

#include <QtGlobal>

#include <atomic>

// What became of what arrived on one bound port, counted on the program's thread as it is
// handed over and read by the metrics page on its own thread: relaxed atomics, no lock on the
// datagram path. What the reader thread counts lives in the port's DatagramInbox.
struct PortCounters
{
    std::atomic<quint64> datagramsHandedOver{0};
    std::atomic<quint64> datagramsRefusedSender{0}; // the component would not take the sender
    std::atomic<quint64> datagramsNotHandedOver{0}; // the hand-over failed: dropped
    std::atomic<quint64> linesReceived{0};          // log lines of HTTP posts
    std::atomic<quint64> linesHandedOver{0};
    std::atomic<quint64> linesNotHandedOver{0}; // refused by the component or failed

    static void count(std::atomic<quint64> &counter)
    {
        counter.fetch_add(1, std::memory_order_relaxed);
    }
};
