#pragma once

#include "DatagramInbox.h"
#include "ReadBudget.h"

#include <QtGlobal>

#include <map>
#include <memory>
#include <mutex>
#include <thread>

// The one thread that reads every bound socket element's socket, so a busy program's thread
// loses nothing while the kernel's receive buffer (capped at net.core.rmem_max without
// privileges) is small. What it reads waits in the element's inbox, within one budget for
// all of them.
class DatagramReader
{
public:
    static constexpr qint64 DefaultBudgetBytes = qint64(64) * 1024 * 1024;

    static DatagramReader &shared();

    ~DatagramReader();
    DatagramReader(const DatagramReader &) = delete;
    DatagramReader &operator=(const DatagramReader &) = delete;

    ReadBudget &budget() { return m_budget; }

    // Reads fd into inbox from now on; 0 when it cannot. The caller keeps fd open until stop.
    quint64 start(int fd, std::shared_ptr<DatagramInbox> inbox);
    // Once this returns, the reader neither reads the socket nor touches its inbox.
    void stop(quint64 id);

private:
    struct Source
    {
        int fd;
        std::shared_ptr<DatagramInbox> inbox;
    };

    DatagramReader();
    void run();

    ReadBudget m_budget{DefaultBudgetBytes};
    int m_epoll = -1;
    int m_quitFd = -1;
    std::mutex m_mutex; // held while a source is read: stop waits for that read to end
    std::map<quint64, Source> m_sources;
    quint64 m_lastId = 0;
    std::thread m_thread;
};
