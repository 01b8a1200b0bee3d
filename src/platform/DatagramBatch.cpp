#include "DatagramBatch.h"

#include "KernelDrops.h"
#include "SocketControl.h"

#include <cerrno>
#include <ctime>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

struct DatagramBatch::Slots
{
    std::unique_ptr<char[]> bytes{new char[std::size_t(Size) * SlotBytes]}; // not cleared
    sockaddr_in senders[Size] = {};
    iovec vectors[Size] = {};
    mmsghdr headers[Size] = {};
    // Room for the drop count and the arrival time the kernel attaches to a datagram.
    alignas(cmsghdr) char controls[Size]
                                  [CMSG_SPACE(sizeof(quint32)) + CMSG_SPACE(sizeof(timespec))] = {};
};

DatagramBatch::DatagramBatch()
    : m_slots(std::make_unique<Slots>())
{
    for (int i = 0; i < Size; ++i) {
        m_slots->vectors[i].iov_base = m_slots->bytes.get() + std::size_t(i) * SlotBytes;
        m_slots->vectors[i].iov_len = SlotBytes;
    }
}

DatagramBatch::~DatagramBatch() = default;

int DatagramBatch::receive(int fd)
{
    Slots &s = *m_slots;
    for (int i = 0; i < Size; ++i) {
        msghdr &header = s.headers[i].msg_hdr;
        header = {};
        header.msg_name = &s.senders[i];
        header.msg_namelen = sizeof s.senders[i];
        header.msg_iov = &s.vectors[i];
        header.msg_iovlen = 1;
        header.msg_control = s.controls[i];
        header.msg_controllen = sizeof s.controls[i];
    }
    int count;
    do
        count = ::recvmmsg(fd, s.headers, Size, MSG_DONTWAIT, nullptr);
    while (count < 0 && errno == EINTR);
    return count < 0 ? 0 : count; // a failed socket reports again at the next readiness
}

DatagramView DatagramBatch::at(int i) const
{
    const Slots &s = *m_slots;
    return {s.bytes.get() + std::size_t(i) * SlotBytes, qint64(s.headers[i].msg_len),
            ntohl(s.senders[i].sin_addr.s_addr), ntohs(s.senders[i].sin_port)};
}

std::int64_t DatagramBatch::arrivalNs(int i) const
{
    return arrivalStampNs(m_slots->headers[i].msg_hdr);
}

std::optional<quint32> DatagramBatch::kernelDropCount(int count) const
{
    for (int i = count - 1; i >= 0; --i) {
        if (const std::optional<quint32> drops = kernelDropCountOf(m_slots->headers[i].msg_hdr))
            return drops;
    }
    return std::nullopt;
}
