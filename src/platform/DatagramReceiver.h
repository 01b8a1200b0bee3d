#pragma once

#include "Result.h"

#include <QtGlobal>

#include <memory>

// A UDP socket bound to one local IPv4 port without address sharing, read in batches: one
// system call takes every waiting datagram up to BatchSize, which is what keeps a busy port
// at a hundred thousand datagrams a second from spending its time in the kernel.
class DatagramReceiver
{
public:
    static constexpr int BatchSize = 32;
    // Larger than any UDP payload, so no datagram is ever cut short. The pages of a slot are
    // only touched as far as the datagrams written into it reach.
    static constexpr int SlotBytes = 65536;

    struct Datagram
    {
        const char *data = nullptr;
        qint64 size = 0;
        quint32 senderIpv4 = 0; // host byte order
        quint16 senderPort = 0;
    };

    DatagramReceiver();
    ~DatagramReceiver();
    DatagramReceiver(const DatagramReceiver &) = delete;
    DatagramReceiver &operator=(const DatagramReceiver &) = delete;

    Status bind(quint16 port);
    void close();
    bool isBound() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    quint16 localPort() const { return m_port; }

    // Asks the kernel for a receive buffer of this size, past the system limit when allowed.
    void askReceiveBuffer(int bytes);
    // What the kernel granted, in bytes (0 when unbound).
    int receiveBufferBytes() const;

    // Reads the datagrams that wait, at most BatchSize; 0 when none waits. Each read replaces
    // the datagrams of the previous one.
    int receive();
    Datagram at(int i) const;

private:
    struct Batch;

    int m_fd = -1;
    quint16 m_port = 0;
    std::unique_ptr<Batch> m_batch; // made at the first read
};
