#include "StatsHttpServer.h"

#include <microhttpd.h>

#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Pages carry their style sheet and nothing else: no script runs, nothing is framed, forms
// go back to this server only.
const char *const Policy = "default-src 'none'; style-src 'self'; img-src 'self'; "
                           "form-action 'self'; base-uri 'none'; frame-ancestors 'none'";

// File descriptors kept for the databases, the writer threads and the library's own.
constexpr rlim_t ReservedFiles = 128;

// One request: its target as the client wrote it (the library's parsed one has the query
// decoded already, and "+" must stay a blank in form values).
struct Target
{
    QByteArray raw;
    bool headersSeen = false;
};

MHD_Result queue(MHD_Connection *connection, const Reply &reply, const char *allow = nullptr)
{
    MHD_Response *response = MHD_create_response_from_buffer(
        size_t(reply.body.size()), const_cast<char *>(reply.body.constData()),
        MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.mimeType.constData());
    MHD_add_response_header(response, "Content-Security-Policy", Policy);
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    if (allow)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, allow);
    const MHD_Result queued = MHD_queue_response(connection, unsigned(reply.status), response);
    MHD_destroy_response(response);
    return queued;
}

Reply plain(int status, const char *text)
{
    return {status, "text/plain; charset=utf-8", QByteArray(text)};
}

bool hasBody(MHD_Connection *connection)
{
    const char *length =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    const char *chunked =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_TRANSFER_ENCODING);
    return chunked || (length && std::strtoull(length, nullptr, 10) > 0);
}

} // namespace

struct StatsHttpCallbacks
{
    static void *target(void * /*self*/, const char *uri, MHD_Connection * /*connection*/)
    {
        return new Target{QByteArray(uri)};
    }

    static void completed(void * /*self*/, MHD_Connection * /*connection*/, void **state,
                          MHD_RequestTerminationCode /*reason*/)
    {
        delete static_cast<Target *>(*state);
        *state = nullptr;
    }

    static MHD_Result access(void *self, MHD_Connection *connection, const char * /*url*/,
                             const char *method, const char * /*version*/,
                             const char * /*uploadData*/, size_t *uploadSize, void **state)
    {
        auto *target = static_cast<Target *>(*state);
        if (!target) // the library always names the target first; without it, nothing to do
            return MHD_NO;
        if (*uploadSize != 0) {
            *uploadSize = 0; // answered already: the rest of a body is dropped unread
            return MHD_YES;
        }
        // Nothing may escape into the library's C frames.
        try {
            if (!target->headersSeen) {
                target->headersSeen = true;
                const bool get = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
                                 std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
                // Refused at once, before a body is read: the connection ends after it.
                if (!get)
                    return queue(connection, plain(405, "Only GET and HEAD are served.\n"),
                                 "GET, HEAD");
                if (hasBody(connection))
                    return queue(connection, plain(413, "A request here carries no body.\n"));
                // Answered on the next call, once the request is whole: answering now would
                // cost the connection its keep-alive.
                return MHD_YES;
            }
            const QUrl url = QUrl::fromEncoded(target->raw);
            const StatsHttpServer &server = *static_cast<StatsHttpServer *>(self);
            return queue(connection, server.m_pages.answer(
                                         url.path(), QUrlQuery(url.query(QUrl::FullyEncoded))));
        } catch (...) {
            return MHD_NO; // the library closes the connection
        }
    }
};

unsigned connectionsTheFileLimitAllows(unsigned wanted)
{
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0)
        return wanted;
    if (files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
        getrlimit(RLIMIT_NOFILE, &files);
    }
    if (files.rlim_cur == RLIM_INFINITY || files.rlim_cur > ReservedFiles + wanted)
        return wanted;
    return files.rlim_cur > 2 * ReservedFiles ? unsigned(files.rlim_cur - ReservedFiles)
                                              : unsigned(files.rlim_cur / 2);
}

StatsHttpServer::StatsHttpServer(const StatsServer &pages, HttpTuning tuning)
    : m_pages(pages)
    , m_tuning(tuning)
{
}

StatsHttpServer::~StatsHttpServer()
{
    stop();
}

Status StatsHttpServer::listen(const QHostAddress &address, quint16 port)
{
    stop();
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (v6) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
        length = sizeof *in6;
    } else {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof *in4;
    }
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return ErrorInfo{errno, QString::fromLocal8Bit(std::strerror(errno))};
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (v6)
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&storage), length) != 0 ||
        ::listen(fd, 1024) != 0) {
        const int error = errno;
        ::close(fd);
        return ErrorInfo{error, QString::fromLocal8Bit(std::strerror(error))};
    }
    // The library owns the socket from here and closes it when it stops.
    m_daemon = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | (v6 ? MHD_USE_IPv6 : 0), port, nullptr,
        nullptr, &StatsHttpCallbacks::access, this, MHD_OPTION_LISTEN_SOCKET, MHD_socket(fd),
        MHD_OPTION_THREAD_POOL_SIZE, m_tuning.threads, MHD_OPTION_URI_LOG_CALLBACK,
        &StatsHttpCallbacks::target, this, MHD_OPTION_NOTIFY_COMPLETED,
        &StatsHttpCallbacks::completed, this, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        m_tuning.connectionMemory, MHD_OPTION_CONNECTION_TIMEOUT, m_tuning.idleTimeoutSeconds,
        MHD_OPTION_CONNECTION_LIMIT, connectionsTheFileLimitAllows(m_tuning.maxConnections),
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, m_tuning.maxConnectionsPerAddress, MHD_OPTION_END);
    if (!m_daemon) {
        ::close(fd);
        return ErrorInfo{0, QStringLiteral("the HTTP server did not start")};
    }
    return {};
}

void StatsHttpServer::stop()
{
    if (m_daemon)
        MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
}
