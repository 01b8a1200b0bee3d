#include "DatagramBlock.h"

#include <cstring>

namespace {

struct Record
{
    quint32 size;
    quint32 senderIpv4;
    quint16 senderPort;
};

constexpr std::size_t HeaderBytes = 16; // sizeof(Record), kept 8-aligned

static_assert(sizeof(Record) <= HeaderBytes);

} // namespace

DatagramBlock::DatagramBlock(ReadBudget &budget)
    : m_bytes(new char[Capacity]) // not cleared: only what is written is read
    , m_claim(budget)
{
}

std::size_t DatagramBlock::recordBytes(qint64 size)
{
    return (HeaderBytes + std::size_t(size) + 7) & ~std::size_t(7);
}

bool DatagramBlock::fits(qint64 size) const
{
    return m_bytes && m_used + recordBytes(size) <= Capacity;
}

void DatagramBlock::append(const DatagramView &datagram, qint64 cost)
{
    const Record record{quint32(datagram.size), datagram.senderIpv4, datagram.senderPort};
    char *at = m_bytes.get() + m_used;
    std::memcpy(at, &record, sizeof record);
    if (datagram.size > 0)
        std::memcpy(at + HeaderBytes, datagram.data, std::size_t(datagram.size));
    m_used += recordBytes(datagram.size);
    m_claim.add(cost);
}

bool DatagramBlock::next(DatagramView &datagram)
{
    if (m_read >= m_used)
        return false;
    const char *at = m_bytes.get() + m_read;
    Record record;
    std::memcpy(&record, at, sizeof record);
    datagram = {at + HeaderBytes, qint64(record.size), record.senderIpv4, record.senderPort};
    m_read += recordBytes(record.size);
    return true;
}
