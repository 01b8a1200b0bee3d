#pragma once

#include "DatagramBatch.h"

#include <cstdint>
#include <vector>

// Puts the datagrams of one port's several sockets back into the order they arrived in. The
// kernel spreads a port's datagrams over the sockets at random and stamps each with its arrival
// time; every socket keeps its own in order. A datagram may go once every socket has shown one
// that arrived after it (nothing earlier can still come from there), or once it has waited
// HoldNs since it was read (a socket that gets nothing for a while holds up nobody for long),
// unless a socket that may hold an earlier one still has datagrams the reader left for later.
// The hold is long because the kernel itself may pass a datagram on to its socket many
// milliseconds after stamping it when the machine is busy (seen here: more than 5 ms).
class ArrivalMerge
{
public:
    static constexpr std::int64_t HoldNs = 50 * 1000 * 1000;

    explicit ArrivalMerge(int sockets);

    // Copies the datagram; arrivalNs is the kernel's stamp, readNs the monotonic time it was read.
    void add(int socket, std::int64_t arrivalNs, std::int64_t readNs, const DatagramView &datagram);
    // Whether the socket still held datagrams when the reader last left it.
    void setLeft(int socket, bool left) { m_left.at(std::size_t(socket)) = left; }
    // The datagrams that may go by nowNs (monotonic), oldest first. They stay valid until the
    // next add or release.
    const std::vector<DatagramView> &release(std::int64_t nowNs);
    bool isHolding() const { return !m_held.empty(); }
    // When release would next let one go although no other datagram comes; only while holding.
    std::int64_t nextDueNs() const;

private:
    struct Held
    {
        std::int64_t arrivalNs;
        std::int64_t readNs;
        std::size_t offset;    // in m_bytes
        DatagramView datagram; // data set on release: m_bytes may move while adding
    };

    std::vector<std::int64_t> m_latest; // per socket: the latest arrival read from it
    std::vector<bool> m_left;           // per socket
    std::vector<Held> m_held;           // read order within a socket, sockets interleaved
    std::vector<char> m_bytes;
    std::vector<DatagramView> m_released;
    std::vector<char> m_releasedBytes;
    std::vector<char> m_spareBytes;
};
