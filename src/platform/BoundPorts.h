#pragma once

#include "DatagramInbox.h"
#include "PortCounters.h"

#include <QtGlobal>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

// One socket element while it is bound, as another thread may look at it.
struct BoundPort
{
    int connection = 0;
    quint16 port = 0;
    std::vector<quint64> socketInodes; // name its sockets in /proc/net/udp
    std::shared_ptr<const DatagramInbox> inbox;
    std::shared_ptr<const PortCounters> counters;
};

// The socket elements bound now, for a thread other than the program's (the metrics page).
// The lock is taken when a port is bound or closed and when the list is read, never per
// datagram.
class BoundPorts
{
public:
    void add(BoundPort port);
    void remove(int connection);
    // In connection order.
    std::vector<BoundPort> list() const;

private:
    mutable std::mutex m_mutex;
    std::map<int, BoundPort> m_ports;
};
