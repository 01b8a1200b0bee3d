#pragma once

#include "Result.h"

#include <QtGlobal>

// A UDP socket bound to one local IPv4 port without address sharing. The shared reader
// thread reads it; this only owns the descriptor.
class DatagramSocket
{
public:
    DatagramSocket() = default;
    ~DatagramSocket();
    DatagramSocket(const DatagramSocket &) = delete;
    DatagramSocket &operator=(const DatagramSocket &) = delete;

    Status bind(quint16 port);
    void close();
    bool isBound() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    quint16 localPort() const { return m_port; }

    // Asks the kernel for a receive buffer of this size, past the system limit when allowed.
    void askReceiveBuffer(int bytes);
    // What the kernel granted, in bytes (0 when unbound).
    int receiveBufferBytes() const;

private:
    int m_fd = -1;
    quint16 m_port = 0;
};
