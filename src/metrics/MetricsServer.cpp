#include "MetricsServer.h"

#include "MetricsText.h"

#include "platform/SocketErrors.h"

#include <microhttpd.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

struct MetricsServerCallbacks
{
    static MHD_Result access(void *self, MHD_Connection *connection, const char *url,
                             const char *method, const char * /*version*/,
                             const char * /*uploadData*/, size_t *uploadSize, void **state)
    {
        // The first call only announces the request; a body, which nothing here takes, is
        // skipped.
        if (!*state) {
            *state = self;
            return MHD_YES;
        }
        if (*uploadSize != 0) {
            *uploadSize = 0;
            return MHD_YES;
        }
        try { // nothing may escape into the library's C frames
            return static_cast<MetricsServer *>(self)->answer(connection, url, method) ? MHD_YES
                                                                                       : MHD_NO;
        } catch (...) {
            return MHD_NO;
        }
    }
};

namespace {

bool respond(MHD_Connection *connection, unsigned status, const QByteArray &body,
             const char *contentType)
{
    MHD_Response *response = MHD_create_response_from_buffer(
        size_t(body.size()), const_cast<char *>(body.constData()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return false;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, contentType);
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued == MHD_YES;
}

// A listening TCP socket on the address, for the library to take over.
Result<int> listenOn(const MetricsAddress &address)
{
    sockaddr_storage storage = {};
    socklen_t length = 0;
    bool ipv4 = false;
    const quint32 v4 = address.host.toIPv4Address(&ipv4);
    if (ipv4) {
        auto *in = reinterpret_cast<sockaddr_in *>(&storage);
        in->sin_family = AF_INET;
        in->sin_addr.s_addr = htonl(v4);
        in->sin_port = htons(address.port);
        length = sizeof *in;
    } else {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        const Q_IPV6ADDR v6 = address.host.toIPv6Address();
        std::memcpy(&in6->sin6_addr, v6.c, sizeof in6->sin6_addr);
        in6->sin6_port = htons(address.port);
        length = sizeof *in6;
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return SocketErrors::fromErrno(errno);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&storage), length) != 0 ||
        ::listen(fd, 16) != 0) {
        const int error = errno;
        ::close(fd);
        return SocketErrors::fromErrno(error);
    }
    return fd;
}

quint16 localPort(int fd)
{
    sockaddr_storage storage = {};
    socklen_t length = sizeof storage;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&storage), &length) != 0)
        return 0;
    if (storage.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in *>(&storage)->sin_port);
    return ntohs(reinterpret_cast<const sockaddr_in6 *>(&storage)->sin6_port);
}

} // namespace

MetricsServer::MetricsServer(Source source)
    : m_source(std::move(source))
{
}

MetricsServer::~MetricsServer()
{
    close();
}

Status MetricsServer::listen(const MetricsAddress &address)
{
    close();
    const Result<int> socket = listenOn(address);
    if (!socket)
        return socket.error();
    const quint16 port = localPort(*socket);
    // A scraper or two, polling: a few connections at a time are plenty, and a stuck one
    // must not hold its slot for long.
    m_daemon = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL, port, nullptr, nullptr,
        &MetricsServerCallbacks::access, this, MHD_OPTION_LISTEN_SOCKET, MHD_socket(*socket),
        MHD_OPTION_CONNECTION_LIMIT, 16u, MHD_OPTION_CONNECTION_TIMEOUT, 10u, MHD_OPTION_END);
    if (!m_daemon) {
        ::close(*socket);
        return ErrorInfo{10050, QStringLiteral("The metrics server could not start on %1 port %2")
                                    .arg(address.host.toString())
                                    .arg(port)};
    }
    m_port = port;
    return {};
}

void MetricsServer::close()
{
    if (m_daemon)
        MHD_stop_daemon(m_daemon); // waits for its thread: no scrape runs after this
    m_daemon = nullptr;
    m_port = 0;
}

bool MetricsServer::answer(MHD_Connection *connection, const char *url, const char *method)
{
    if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 &&
        std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0)
        return respond(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET is answered here.\n",
                       "text/plain; charset=utf-8");
    if (std::strcmp(url, "/metrics") == 0)
        return respond(connection, MHD_HTTP_OK, metricsText(m_source()),
                       "text/plain; version=0.0.4; charset=utf-8");
    if (std::strcmp(url, "/healthz") == 0) {
        const HealthReport health = healthOf(m_source());
        return respond(connection, unsigned(health.status), health.body + '\n', "application/json");
    }
    return respond(connection, MHD_HTTP_NOT_FOUND, "Not found: try /metrics or /healthz.\n",
                   "text/plain; charset=utf-8");
}
