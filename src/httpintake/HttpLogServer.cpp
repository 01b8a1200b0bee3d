#include "HttpLogServer.h"

#include "platform/ListenSocket.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstring>

// One request in progress: its body so far, or the answer given before the body ended. Its
// body counts against what the port holds of all bodies at once until the request ends.
struct HttpLogServer::Request
{
    explicit Request(std::size_t &inFlight)
        : inFlight(inFlight)
    {
    }
    ~Request() { inFlight -= counted; }
    Request(const Request &) = delete;
    Request &operator=(const Request &) = delete;

    // Counts a body of this length against the budget before it is read.
    bool reserve(std::size_t length, std::size_t budget)
    {
        if (inFlight + length > budget)
            return false;
        counted = length;
        inFlight += length;
        return true;
    }
    // A body read past what was reserved (one without a length) counts as it comes.
    bool append(const char *data, std::size_t size, std::size_t budget)
    {
        const std::size_t beyond = std::size_t(body.size()) + size > counted
                                       ? std::size_t(body.size()) + size - counted
                                       : 0;
        if (inFlight + beyond > budget)
            return false;
        counted += beyond;
        inFlight += beyond;
        body.append(data, qsizetype(size));
        return true;
    }

    std::size_t &inFlight;
    std::size_t counted = 0;
    QByteArray body;
    bool answered = false;
};

struct HttpLogServerCallbacks
{
    static MHD_Result access(void *self, MHD_Connection *connection, const char * /*url*/,
                             const char *method, const char * /*version*/, const char *uploadData,
                             size_t *uploadSize, void **state)
    {
        auto *&request = reinterpret_cast<HttpLogServer::Request *&>(*state);
        // Nothing may escape into the library's C frames.
        try {
            return static_cast<HttpLogServer *>(self)->onAccess(connection, method, uploadData,
                                                                uploadSize, request)
                       ? MHD_YES
                       : MHD_NO;
        } catch (...) {
            return MHD_NO; // the library closes the connection
        }
    }

    static void completed(void * /*self*/, MHD_Connection * /*connection*/, void **state,
                          MHD_RequestTerminationCode /*reason*/)
    {
        delete static_cast<HttpLogServer::Request *>(*state);
        *state = nullptr;
    }
};

namespace {

QByteArray header(MHD_Connection *connection, const char *name)
{
    const char *value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value ? QByteArray(value) : QByteArray();
}

std::optional<qint64> offsetHeader(MHD_Connection *connection, const char *name)
{
    const QByteArray text = header(connection, name).trimmed();
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

// The client's address, dotted for IPv4; an IPv4-mapped IPv6 address is unmapped.
void peerOf(MHD_Connection *connection, QString &ip, quint16 &port)
{
    const MHD_ConnectionInfo *info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr)
        return;
    char text[INET6_ADDRSTRLEN] = {};
    if (info->client_addr->sa_family == AF_INET) {
        sockaddr_in address;
        std::memcpy(&address, info->client_addr, sizeof address);
        inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
        port = ntohs(address.sin_port);
    } else if (info->client_addr->sa_family == AF_INET6) {
        sockaddr_in6 address;
        std::memcpy(&address, info->client_addr, sizeof address);
        if (IN6_IS_ADDR_V4MAPPED(&address.sin6_addr))
            inet_ntop(AF_INET, &address.sin6_addr.s6_addr[12], text, sizeof text);
        else
            inet_ntop(AF_INET6, &address.sin6_addr, text, sizeof text);
        port = ntohs(address.sin6_port);
    }
    ip = QString::fromLatin1(text);
}

} // namespace

HttpLogServer::HttpLogServer(Handler handler, HttpLimits limits, QObject *parent)
    : QObject(parent)
    , m_handler(std::move(handler))
    , m_limits(limits)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &HttpLogServer::run);
}

HttpLogServer::~HttpLogServer()
{
    close();
}

Status HttpLogServer::listen(quint16 port)
{
    close();
    Result<int> socket = openTcpListener(port);
    if (!socket)
        return socket.error();
    // The library owns the socket from here and closes it when it stops.
    m_daemon = MHD_start_daemon(
        MHD_USE_EPOLL | MHD_USE_SUPPRESS_DATE_NO_CLOCK, port, nullptr, nullptr,
        &HttpLogServerCallbacks::access, this, MHD_OPTION_LISTEN_SOCKET, MHD_socket(*socket),
        MHD_OPTION_NOTIFY_COMPLETED, &HttpLogServerCallbacks::completed, this,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, size_t(m_limits.connectionMemory),
        MHD_OPTION_CONNECTION_TIMEOUT, m_limits.idleTimeoutSeconds, MHD_OPTION_CONNECTION_LIMIT,
        m_limits.maxConnections, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        m_limits.maxConnectionsPerAddress, MHD_OPTION_END);
    if (!m_daemon) {
        ::close(*socket);
        return ErrorInfo{10050,
                         QStringLiteral("The HTTP server could not start on port %1").arg(port)};
    }
    const MHD_DaemonInfo *info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_EPOLL_FD);
    m_notifier = std::make_unique<QSocketNotifier>(info->epoll_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &HttpLogServer::run);
    m_port = port;
    return {};
}

void HttpLogServer::close()
{
    m_timer.stop();
    m_notifier.reset(); // before the descriptor it watches goes
    if (m_daemon)
        MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
    m_port = 0;
}

void HttpLogServer::run()
{
    if (!m_daemon)
        return;
    MHD_run(m_daemon);
    schedule();
}

// The library tells when it must run again without a socket event: a timeout is due, or
// work it has already read is waiting.
void HttpLogServer::schedule()
{
    MHD_UNSIGNED_LONG_LONG wait = 0;
    if (m_daemon && MHD_get_timeout(m_daemon, &wait) == MHD_YES)
        m_timer.start(int(std::min<MHD_UNSIGNED_LONG_LONG>(wait, 60'000)));
    else
        m_timer.stop();
}

bool HttpLogServer::answer(MHD_Connection *connection, const HttpAnswer &answer)
{
    QByteArray text = answer.text;
    if (!text.endsWith('\n'))
        text += '\n';
    MHD_Response *response =
        MHD_create_response_from_buffer(size_t(text.size()), text.data(), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return false;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; charset=utf-8");
    if (answer.status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "POST");
    if (answer.retryAfter > 0)
        MHD_add_response_header(response, MHD_HTTP_HEADER_RETRY_AFTER,
                                QByteArray::number(answer.retryAfter).constData());
    const MHD_Result queued = MHD_queue_response(connection, unsigned(answer.status), response);
    MHD_destroy_response(response);
    return queued == MHD_YES;
}

// The headers are in; the body, if any, follows in later calls. What the headers tell is
// answered before a byte of the body is read: the library can answer only then (or after the
// whole body), so a body without a length that grows past a limit loses its connection.
bool HttpLogServer::onHeaders(MHD_Connection *connection, const char *method, Request &request)
{
    if (std::strcmp(method, MHD_HTTP_METHOD_POST) != 0) {
        request.answered = true;
        return answer(connection,
                      {MHD_HTTP_METHOD_NOT_ALLOWED, "Only POST takes log lines here.", 0});
    }
    const std::optional<qint64> length = offsetHeader(connection, "Content-Length");
    if (length && quint64(*length) > m_limits.maxBodyBytes) {
        request.answered = true;
        return answer(connection,
                      {MHD_HTTP_CONTENT_TOO_LARGE, "The body is longer than this port takes.", 0});
    }
    // Many clients sending large bodies at once must not take the program's memory.
    if (length && !request.reserve(std::size_t(*length), m_limits.maxBodyBytesInFlight)) {
        request.answered = true;
        return answer(connection,
                      {MHD_HTTP_SERVICE_UNAVAILABLE,
                       "Too many posts arrive at once; send again later.", RetryAfterSeconds});
    }
    return true;
}

bool HttpLogServer::onAccess(MHD_Connection *connection, const char *method, const char *uploadData,
                             size_t *uploadSize, Request *&request)
{
    if (!request) {
        request = new Request(m_bodyBytesInFlight);
        return onHeaders(connection, method, *request);
    }
    if (*uploadSize != 0) {
        const std::size_t size = *uploadSize;
        *uploadSize = 0;
        if (request->answered)
            return true; // the rest of an answered request is read and dropped
        if (size_t(request->body.size()) + size > m_limits.maxBodyBytes ||
            !request->append(uploadData, size, m_limits.maxBodyBytesInFlight))
            return false;
        return true;
    }
    if (request->answered)
        return true;
    request->answered = true;
    return answer(connection, m_handler(post(connection, *request)));
}

LogPost HttpLogServer::post(MHD_Connection *connection, Request &request) const
{
    LogPost post;
    peerOf(connection, post.peerIp, post.peerPort);
    post.localPort = m_port;
    post.serverAddr = header(connection, "X-Server-Addr");
    post.instanceToken = header(connection, "X-Server-Instance-Token");
    post.uniqueToken = header(connection, "X-Server-Unique-Token");
    post.beginOffset = offsetHeader(connection, "X-Logbytes-BeginOffset");
    post.endOffset = offsetHeader(connection, "X-Logbytes-EndOffset");
    post.body = std::move(request.body);
    return post;
}
