#pragma once

#include "Result.h"

#include <QtGlobal>

#include <vector>

// The UDP sockets of one local IPv4 port. Usually one, bound without address sharing; when the
// kernel caps a socket's receive buffer below what the port should hold (net.core.rmem_max
// without privileges), several, among which the kernel spreads the datagrams (their arrival
// stamps put them back in order). The shared reader thread reads them; this owns them.
class DatagramSocket
{
public:
    // A port never gets more sockets than this, and never takes descriptors past half of the
    // process's limit: the databases and the log files need theirs.
    static constexpr int MostSockets = 64;

    DatagramSocket() = default;
    ~DatagramSocket();
    DatagramSocket(const DatagramSocket &) = delete;
    DatagramSocket &operator=(const DatagramSocket &) = delete;

    Status bind(quint16 port);
    // Binds with a receive buffer of bufferBytes each, past the system limit when allowed, and
    // as many sockets as it takes for their buffers to hold portBytes together.
    Status bind(quint16 port, int bufferBytes, int portBytes);
    void close();
    bool isBound() const { return !m_fds.empty(); }
    int descriptor() const { return m_fds.empty() ? -1 : m_fds.front(); }
    const std::vector<int> &descriptors() const { return m_fds; }
    quint16 localPort() const { return m_port; }

    // Asks the kernel for a receive buffer of this size, past the system limit when allowed.
    void askReceiveBuffer(int bytes);
    // What the kernel granted, in bytes, all sockets together (0 when unbound).
    int receiveBufferBytes() const;

private:
    Status bindGroup(int first, quint16 port, int sockets, int bufferBytes);

    std::vector<int> m_fds;
    quint16 m_port = 0;
};
