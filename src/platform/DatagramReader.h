#pragma once

#include "ArrivalMerge.h"
#include "DatagramBatch.h"
#include "DatagramInbox.h"
#include "ReadBudget.h"

#include <QtGlobal>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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
    // The same for the sockets of one port that share it: their datagrams reach the inbox in
    // the order they arrived in, across the sockets.
    quint64 start(const std::vector<int> &fds, std::shared_ptr<DatagramInbox> inbox);
    // Once this returns, the reader neither reads the socket nor touches its inbox.
    void stop(quint64 id);

private:
    struct Source
    {
        std::vector<int> fds;
        std::shared_ptr<DatagramInbox> inbox;
        std::unique_ptr<ArrivalMerge> merge; // only for several sockets
    };

    DatagramReader();
    void run();
    // left: set when the socket still holds datagrams after its turn.
    std::int64_t readSocket(Source &source, int socket, DatagramBatch &batch, bool &left);
    // The time epoll may wait for news: until the first held datagram is due, or for ever.
    int waitMs(std::int64_t nowNs);
    // Hands over what the merges of several sockets may let go by now.
    void releaseDue(std::int64_t nowNs);
    // Under the lock, when a source comes or goes.
    void measureRoom();

    ReadBudget m_budget{DefaultBudgetBytes};
    int m_epoll = -1;
    int m_quitFd = -1;
    std::mutex m_mutex; // held while a source is read: stop waits for that read to end
    std::map<quint64, Source> m_sources;
    quint64 m_lastId = 0;
    std::atomic<qint64> m_room{DatagramBatch::Size}; // the datagrams a pause may let pile up
    std::thread m_thread;
};
