#pragma once

#include <QtGlobal>

#include <atomic>
#include <utility>

// The memory the program lets datagrams take between the reader thread and their hand-over,
// shared by every port: a flood the program cannot keep up with is refused here instead of
// growing without end.
class ReadBudget
{
public:
    // What a held datagram costs beyond its bytes: its record and its share of the block.
    static constexpr qint64 OverheadBytes = 64;

    explicit ReadBudget(qint64 limitBytes)
        : m_limit(limitBytes)
    {
    }

    qint64 limitBytes() const { return m_limit.load(std::memory_order_relaxed); }
    void setLimitBytes(qint64 bytes) { m_limit.store(bytes, std::memory_order_relaxed); }
    qint64 heldBytes() const { return m_held.load(std::memory_order_relaxed); }

    // False when the bytes do not fit.
    bool take(qint64 bytes)
    {
        qint64 held = m_held.load(std::memory_order_relaxed);
        do {
            if (held + bytes > limitBytes())
                return false;
        } while (!m_held.compare_exchange_weak(held, held + bytes, std::memory_order_relaxed));
        return true;
    }
    void give(qint64 bytes) { m_held.fetch_sub(bytes, std::memory_order_relaxed); }

private:
    std::atomic<qint64> m_limit;
    std::atomic<qint64> m_held{0};
};

// Bytes taken from a budget, given back when the claim goes.
class BudgetClaim
{
public:
    BudgetClaim() = default;
    explicit BudgetClaim(ReadBudget &budget)
        : m_budget(&budget)
    {
    }
    BudgetClaim(BudgetClaim &&other) noexcept
        : m_budget(other.m_budget)
        , m_bytes(std::exchange(other.m_bytes, 0))
    {
    }
    BudgetClaim &operator=(BudgetClaim &&other) noexcept
    {
        if (this != &other) {
            release();
            m_budget = other.m_budget;
            m_bytes = std::exchange(other.m_bytes, 0);
        }
        return *this;
    }
    ~BudgetClaim() { release(); }

    void add(qint64 bytes) { m_bytes += bytes; }
    void release()
    {
        if (m_budget && m_bytes)
            m_budget->give(m_bytes);
        m_bytes = 0;
    }

private:
    ReadBudget *m_budget = nullptr;
    qint64 m_bytes = 0;
};
