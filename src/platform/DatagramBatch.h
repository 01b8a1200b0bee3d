#pragma once

#include <QtGlobal>

#include <cstdint>
#include <memory>
#include <optional>

// A datagram as read: its bytes (owned by whoever read it) and its sender.
struct DatagramView
{
    const char *data = nullptr;
    qint64 size = 0;
    quint32 senderIpv4 = 0; // host byte order
    quint16 senderPort = 0;
};

// The datagrams one system call takes from a socket: every waiting one up to Size, which is
// what keeps a busy port at a hundred thousand datagrams a second out of the kernel.
class DatagramBatch
{
public:
    static constexpr int Size = 32;
    // Larger than any UDP payload, so no datagram is ever cut short. The pages of a slot are
    // only touched as far as the datagrams written into it reach.
    static constexpr int SlotBytes = 65536;

    DatagramBatch();
    ~DatagramBatch();
    DatagramBatch(const DatagramBatch &) = delete;
    DatagramBatch &operator=(const DatagramBatch &) = delete;

    // Reads the datagrams waiting on fd, replacing the previous ones; 0 when none waits.
    int receive(int fd);
    DatagramView at(int i) const;
    // When the kernel took the datagram in (realtime ns), if the socket asks for it; else 0.
    std::int64_t arrivalNs(int i) const;
    // The kernel's drop count for the socket as the newest of the first count datagrams
    // brought it; nothing when none did (see KernelDrops.h).
    std::optional<quint32> kernelDropCount(int count) const;

private:
    struct Slots;
    std::unique_ptr<Slots> m_slots;
};
