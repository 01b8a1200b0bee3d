#pragma once

#include "platform/DatagramReader.h"

#include <QElapsedTimer>
#include <QThread>

#include <functional>

// Waits while the program's thread stays busy (no events are processed), as a handler that
// takes its time would keep it; the reader thread goes on reading.
inline bool waitBusy(const std::function<bool()> &done, int timeoutMs = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(5);
    }
    return true;
}

// Bytes of datagrams the reader holds for every element together.
inline qint64 heldBytes()
{
    return DatagramReader::shared().budget().heldBytes();
}

// What a datagram of this size takes from the reader's budget.
inline qint64 readerCost(qint64 size)
{
    return size + ReadBudget::OverheadBytes;
}

// The reader's budget for one test, put back after it.
class BudgetForTest
{
public:
    explicit BudgetForTest(qint64 bytes)
        : m_before(DatagramReader::shared().budget().limitBytes())
    {
        DatagramReader::shared().budget().setLimitBytes(bytes);
    }
    ~BudgetForTest() { DatagramReader::shared().budget().setLimitBytes(m_before); }
    BudgetForTest(const BudgetForTest &) = delete;
    BudgetForTest &operator=(const BudgetForTest &) = delete;

private:
    qint64 m_before;
};
