#include "DatagramInbox.h"

#include <cstdint>

#include <sys/eventfd.h>
#include <unistd.h>

DatagramInbox::DatagramInbox(ReadBudget &budget)
    : m_budget(budget)
    , m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

DatagramInbox::~DatagramInbox()
{
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void DatagramInbox::put(const DatagramBatch &batch, int count)
{
    quint64 refused = 0;
    std::lock_guard lock(m_mutex);
    for (int i = 0; i < count; ++i)
        refused += keepLocked(batch.at(i)) ? 0 : 1;
    noteLocked(quint64(count), refused);
}

void DatagramInbox::put(const std::vector<DatagramView> &datagrams)
{
    quint64 refused = 0;
    std::lock_guard lock(m_mutex);
    for (const DatagramView &datagram : datagrams)
        refused += keepLocked(datagram) ? 0 : 1;
    noteLocked(quint64(datagrams.size()), refused);
}

bool DatagramInbox::keepLocked(const DatagramView &datagram)
{
    const qint64 cost = datagram.size + ReadBudget::OverheadBytes;
    if (!m_budget.take(cost)) {
        if (!m_refusing) {
            m_refusing = true;
            m_spells.fetch_add(1, std::memory_order_relaxed);
        }
        return false;
    }
    if (m_refusing && m_budget.heldBytes() <= m_budget.limitBytes() / 2)
        m_refusing = false;
    if (m_blocks.empty() || !m_blocks.back().fits(datagram.size))
        m_blocks.emplace_back(m_budget);
    m_blocks.back().append(datagram, cost);
    return true;
}

void DatagramInbox::noteLocked(quint64 count, quint64 refused)
{
    if (refused)
        m_refused.fetch_add(refused, std::memory_order_relaxed);
    m_received.fetch_add(count, std::memory_order_relaxed);
    if (count > 0)
        wakeLocked(); // a refusal is news for the program's thread too
}

void DatagramInbox::noteKernelDrops(quint32 cumulative, int socket)
{
    if (socket < 0)
        return;
    if (std::size_t(socket) >= m_lastDropCounts.size())
        m_lastDropCounts.resize(std::size_t(socket) + 1, 0);
    // The kernel's counter is 32 bits and only grows, so the difference survives a wrap.
    quint32 &last = m_lastDropCounts[std::size_t(socket)];
    const quint32 increase = cumulative - last;
    if (increase == 0)
        return;
    last = cumulative;
    m_kernelDrops.fetch_add(increase, std::memory_order_relaxed);
}

void DatagramInbox::wakeLocked()
{
    if (m_woken)
        return; // one wake-up until the program's thread has taken notice
    m_woken = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

void DatagramInbox::clearWake()
{
    std::lock_guard lock(m_mutex);
    m_woken = false;
    std::uint64_t count;
    [[maybe_unused]] const ssize_t read = ::read(m_wakeFd, &count, sizeof count);
}

void DatagramInbox::wake()
{
    std::lock_guard lock(m_mutex);
    wakeLocked();
}

bool DatagramInbox::take(DatagramBlock &block)
{
    std::lock_guard lock(m_mutex);
    if (m_blocks.empty())
        return false;
    block = std::move(m_blocks.front());
    m_blocks.pop_front();
    return true;
}

bool DatagramInbox::isEmpty() const
{
    std::lock_guard lock(m_mutex);
    return m_blocks.empty();
}
