#include "DatagramReceiver.h"

#include "SocketErrors.h"

#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

struct DatagramReceiver::Batch
{
    std::unique_ptr<char[]> bytes{new char[std::size_t(BatchSize) * SlotBytes]}; // not cleared
    sockaddr_in senders[BatchSize] = {};
    qint64 sizes[BatchSize] = {};
#ifdef __linux__
    iovec vectors[BatchSize] = {};
    mmsghdr headers[BatchSize] = {};

    Batch()
    {
        for (int i = 0; i < BatchSize; ++i) {
            vectors[i].iov_base = bytes.get() + std::size_t(i) * SlotBytes;
            vectors[i].iov_len = SlotBytes;
        }
    }
#endif
};

DatagramReceiver::DatagramReceiver() = default;

DatagramReceiver::~DatagramReceiver()
{
    close();
}

Status DatagramReceiver::bind(quint16 port)
{
    if (isBound())
        return SocketErrors::alreadyBound();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return SocketErrors::fromErrno(errno);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        return SocketErrors::fromErrno(error);
    }
    m_fd = fd;
    m_port = port;
    return {};
}

void DatagramReceiver::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_port = 0;
}

void DatagramReceiver::askReceiveBuffer(int bytes)
{
    if (!isBound())
        return;
#ifdef SO_RCVBUFFORCE
    // Passes the system limit when we are allowed to; otherwise the kernel caps SO_RCVBUF at
    // net.core.rmem_max, which is still better than the default.
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0)
        return;
#endif
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

int DatagramReceiver::receiveBufferBytes() const
{
    int bytes = 0;
    socklen_t length = sizeof bytes;
    if (!isBound() || ::getsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, &length) != 0)
        return 0;
    return bytes;
}

int DatagramReceiver::receive()
{
    if (!isBound())
        return 0;
    if (!m_batch)
        m_batch = std::make_unique<Batch>();
    Batch &batch = *m_batch;
#ifdef __linux__
    for (int i = 0; i < BatchSize; ++i) {
        msghdr &header = batch.headers[i].msg_hdr;
        header = {};
        header.msg_name = &batch.senders[i];
        header.msg_namelen = sizeof batch.senders[i];
        header.msg_iov = &batch.vectors[i];
        header.msg_iovlen = 1;
    }
    int count;
    do
        count = ::recvmmsg(m_fd, batch.headers, BatchSize, MSG_DONTWAIT, nullptr);
    while (count < 0 && errno == EINTR);
    if (count <= 0)
        return 0; // nothing waits (or the socket failed: the next notice tells again)
    for (int i = 0; i < count; ++i)
        batch.sizes[i] = qint64(batch.headers[i].msg_len);
    return count;
#else
    int count = 0;
    while (count < BatchSize) {
        socklen_t length = sizeof batch.senders[count];
        const ssize_t size =
            ::recvfrom(m_fd, batch.bytes.get() + std::size_t(count) * SlotBytes, SlotBytes,
                       MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&batch.senders[count]), &length);
        if (size < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        batch.sizes[count++] = size;
    }
    return count;
#endif
}

DatagramReceiver::Datagram DatagramReceiver::at(int i) const
{
    if (!m_batch || i < 0 || i >= BatchSize)
        return {};
    const Batch &batch = *m_batch;
    return {batch.bytes.get() + std::size_t(i) * SlotBytes, batch.sizes[i],
            ntohl(batch.senders[i].sin_addr.s_addr), ntohs(batch.senders[i].sin_port)};
}
