#pragma once

#include "DatagramBatch.h"
#include "ReadBudget.h"

#include <cstddef>
#include <memory>

// Datagrams read from one socket, stored back to back with their senders: the reader thread
// appends, then hands the whole block to the program's thread, which reads it front to back.
// The block holds their cost in the budget until it goes.
class DatagramBlock
{
public:
    // Room for the largest datagram, and few enough allocations for small ones.
    static constexpr std::size_t Capacity = 256 * 1024;

    DatagramBlock() = default;
    explicit DatagramBlock(ReadBudget &budget);

    static std::size_t recordBytes(qint64 size);
    bool fits(qint64 size) const;
    // The cost is already taken from the budget; the block gives it back.
    void append(const DatagramView &datagram, qint64 cost);

    // The next datagram not yet read; false when every one was.
    bool next(DatagramView &datagram);
    bool isEmpty() const { return m_used == 0; }

private:
    std::unique_ptr<char[]> m_bytes;
    std::size_t m_used = 0;
    std::size_t m_read = 0;
    BudgetClaim m_claim;
};
