#include "DatagramSocket.h"

#include "KernelDrops.h"
#include "SocketControl.h"
#include "SocketErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <limits>

#include <arpa/inet.h>
#include <linux/filter.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

int newSocket()
{
    return ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

void askBuffer(int fd, int bytes)
{
#ifdef SO_RCVBUFFORCE
    // Passes the system limit when we are allowed to; otherwise the kernel caps SO_RCVBUF at
    // net.core.rmem_max, which is still better than the default.
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0)
        return;
#endif
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

int bufferOf(int fd)
{
    int bytes = 0;
    socklen_t length = sizeof bytes;
    return ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, &length) == 0 ? bytes : 0;
}

int bindTo(int fd, quint16 port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    return ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 ? 0
                                                                                         : errno;
}

bool shareAndStamp(int fd)
{
    const int on = 1;
    return ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) == 0 &&
           ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0;
}

// Each datagram goes to a socket of the group drawn at random, so one sender's flood fills all
// their buffers alike instead of the one its address hashes to.
bool spreadAtRandom(int fd, int sockets)
{
    sock_filter code[] = {
        {BPF_LD | BPF_W | BPF_ABS, 0, 0, quint32(SKF_AD_OFF + SKF_AD_RANDOM)},
        {BPF_ALU | BPF_MOD | BPF_K, 0, 0, quint32(sockets)},
        {BPF_RET | BPF_A, 0, 0, 0},
    };
    const sock_fprog program = {sizeof code / sizeof code[0], code};
    return ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_REUSEPORT_CBPF, &program, sizeof program) == 0;
}

std::int64_t realtimeNs()
{
    timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The kernel turns arrival stamps on a moment after the first socket asks for them; until then
// a datagram is stamped when it is read, which would put the first ones out of order. A
// datagram of our own, over a socket of our own on the loopback, shows when they are on.
void waitForArrivalStamps()
{
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const timeval patience = {0, 100 * 1000}; // a datagram lost even here does not hang the bind
    const bool ready =
        probe >= 0 && ::setsockopt(probe, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0 &&
        ::setsockopt(probe, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience) == 0 &&
        ::bind(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length) == 0;
    for (int attempt = 0; ready && attempt < 200; ++attempt) {
        const char byte = 0;
        ::sendto(probe, &byte, 1, 0, reinterpret_cast<const sockaddr *>(&address), length);
        const std::int64_t sent = realtimeNs();
        char control[CMSG_SPACE(sizeof(timespec))];
        char data;
        iovec vector = {&data, 1};
        msghdr header = {};
        header.msg_iov = &vector;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        if (::recvmsg(probe, &header, 0) < 0)
            break;
        if (arrivalStampNs(header) <= sent)
            break; // stamped on arrival
        const timespec pause = {0, 500 * 1000};
        ::nanosleep(&pause, nullptr);
    }
    if (probe >= 0)
        ::close(probe);
}

quint16 localPortOf(int fd)
{
    sockaddr_in address = {};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

int descriptorCeiling()
{
    rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 1 << 20;
    return int(std::min<rlim_t>(limit.rlim_cur, 1 << 20)) / 2;
}

} // namespace

DatagramSocket::~DatagramSocket()
{
    close();
}

Status DatagramSocket::bind(quint16 port)
{
    return bind(port, 0, 0);
}

Status DatagramSocket::bind(quint16 port, int bufferBytes, int portBytes)
{
    if (isBound())
        return SocketErrors::alreadyBound();
    const int fd = newSocket();
    if (fd < 0)
        return SocketErrors::fromErrno(errno);
    if (bufferBytes > 0)
        askBuffer(fd, bufferBytes);
    const int granted = bufferOf(fd);
    const int sockets =
        granted > 0 && portBytes > granted
            ? std::min(MostSockets, int((qint64(portBytes) + granted - 1) / granted))
            : 1;
    if (sockets > 1)
        return bindGroup(fd, port, sockets, bufferBytes);
    if (const int error = bindTo(fd, port)) {
        ::close(fd);
        return SocketErrors::fromErrno(error);
    }
    // Without it the program cannot tell that it fell behind; /proc/net/udp still can.
    askKernelDropCounts(fd);
    m_fds.push_back(fd);
    m_port = port ? port : localPortOf(fd);
    return {};
}

Status DatagramSocket::bindGroup(int first, quint16 port, int sockets, int bufferBytes)
{
    // Sockets that share a port take it even from each other's program; a plain bind first
    // finds out whether anyone holds it, with the error a single socket would have met.
    if (const int probe = newSocket(); probe >= 0) {
        const int error = bindTo(probe, port);
        ::close(probe);
        if (error) {
            ::close(first);
            return SocketErrors::fromErrno(error);
        }
    }
    if (!shareAndStamp(first)) {
        const int error = errno;
        ::close(first);
        return SocketErrors::fromErrno(error);
    }
    waitForArrivalStamps(); // the first socket's stamps keep them on from now
    if (const int error = bindTo(first, port)) {
        ::close(first);
        return SocketErrors::fromErrno(error);
    }
    askKernelDropCounts(first);
    m_fds.push_back(first);
    m_port = port ? port : localPortOf(first); // the others join the port the first was given
    const int ceiling = descriptorCeiling();
    while (int(m_fds.size()) < sockets) {
        const int fd = newSocket();
        if (fd < 0)
            break;
        askBuffer(fd, bufferBytes);
        if (fd >= ceiling || !shareAndStamp(fd) || bindTo(fd, m_port) != 0) {
            ::close(fd);
            break; // the port holds less, but it is bound
        }
        askKernelDropCounts(fd);
        m_fds.push_back(fd);
    }
    if (m_fds.size() > 1 && !spreadAtRandom(first, int(m_fds.size()))) {
        // Spread by the sender's address, one flood would still fill a single buffer.
        for (std::size_t i = 1; i < m_fds.size(); ++i)
            ::close(m_fds[i]);
        m_fds.resize(1);
    }
    return {};
}

void DatagramSocket::close()
{
    for (const int fd : m_fds)
        ::close(fd);
    m_fds.clear();
    m_port = 0;
}

void DatagramSocket::askReceiveBuffer(int bytes)
{
    for (const int fd : m_fds)
        askBuffer(fd, bytes);
}

int DatagramSocket::receiveBufferBytes() const
{
    qint64 bytes = 0;
    for (const int fd : m_fds)
        bytes += bufferOf(fd);
    return int(std::min<qint64>(bytes, std::numeric_limits<int>::max()));
}
