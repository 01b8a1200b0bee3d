#include "DatagramSocket.h"

#include "KernelDrops.h"
#include "SocketErrors.h"

#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

DatagramSocket::~DatagramSocket()
{
    close();
}

Status DatagramSocket::bind(quint16 port)
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
    // Without it the program cannot tell that it fell behind; /proc/net/udp still can.
    askKernelDropCounts(fd);
    m_fd = fd;
    m_port = port;
    return {};
}

void DatagramSocket::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_port = 0;
}

void DatagramSocket::askReceiveBuffer(int bytes)
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

int DatagramSocket::receiveBufferBytes() const
{
    int bytes = 0;
    socklen_t length = sizeof bytes;
    if (!isBound() || ::getsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, &length) != 0)
        return 0;
    return bytes;
}
