#pragma once

#include "DatagramBlock.h"
#include "ReadBudget.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

// What the reader thread read from one socket and the program's thread has not yet taken,
// oldest first. An eventfd tells the program's thread that there is something to take.
class DatagramInbox
{
public:
    explicit DatagramInbox(ReadBudget &budget);
    ~DatagramInbox();
    DatagramInbox(const DatagramInbox &) = delete;
    DatagramInbox &operator=(const DatagramInbox &) = delete;

    // Readable while there is something to take; -1 when it could not be made.
    int wakeDescriptor() const { return m_wakeFd; }

    // Reader thread: keeps what the budget allows and refuses the rest, in order.
    void put(const DatagramBatch &batch, int count);
    void put(const std::vector<DatagramView> &datagrams);
    // Reader thread: the drop count that came with a batch from the port's socket of that
    // index (cumulative, wrapping).
    void noteKernelDrops(quint32 cumulative, int socket = 0);

    // Program thread. Call clearWake before taking, so a put after it wakes again.
    void clearWake();
    void wake();
    // Moves the oldest block out; false when nothing waits.
    bool take(DatagramBlock &block);
    bool isEmpty() const;
    // Datagrams read and refused because the budget was spent.
    quint64 refused() const { return m_refused.load(std::memory_order_relaxed); }
    // Spells of refusal: one starts at a refusal and ends when the budget is half free again,
    // so a flood that keeps the budget full is one spell, not one per block handed over.
    quint64 refusalSpells() const { return m_spells.load(std::memory_order_relaxed); }
    // Datagrams read from the socket, kept or refused.
    quint64 received() const { return m_received.load(std::memory_order_relaxed); }
    // Datagrams the kernel dropped before they could be read, as far as reads have told.
    quint64 kernelDrops() const { return m_kernelDrops.load(std::memory_order_relaxed); }

private:
    void wakeLocked();
    bool keepLocked(const DatagramView &datagram);
    void noteLocked(quint64 count, quint64 refused);

    ReadBudget &m_budget;
    int m_wakeFd = -1;
    mutable std::mutex m_mutex;
    std::deque<DatagramBlock> m_blocks;
    bool m_woken = false;
    bool m_refusing = false;
    std::atomic<quint64> m_refused{0};
    std::atomic<quint64> m_spells{0};
    std::atomic<quint64> m_received{0};
    std::atomic<quint64> m_kernelDrops{0};
    std::vector<quint32> m_lastDropCounts; // by socket; the reader's own
};
