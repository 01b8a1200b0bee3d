#pragma once

#include <QByteArray>
#include <QList>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

// An HTTP exchange on 127.0.0.1 in plain bytes, so a test can send what no well-behaved
// client would. The client runs on a thread of its own while the test's event loop serves.
struct RawResponse
{
    bool connected = false;
    QList<QByteArray> answers; // each response's head and body as read
    bool closedByServer = false;

    int status(int i = 0) const { return answers.size() > i ? answers.at(i).mid(9, 3).toInt() : 0; }
    QByteArray header(const QByteArray &name, int i = 0) const
    {
        for (const QByteArray &line : answers.value(i).split('\n')) {
            if (line.toLower().startsWith(name.toLower() + ':'))
                return line.mid(name.size() + 1).trimmed();
        }
        return {};
    }
};

// A connected, blocking client socket; -1 when the connection fails.
inline int rawConnect(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads until `count` complete responses (by Content-Length) are in, the server closes, or
// the wait ends.
inline void rawRead(int fd, RawResponse &response, int count, int waitMs)
{
    QByteArray buffer;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (response.answers.size() < count && std::chrono::steady_clock::now() < until) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0)
            continue;
        char chunk[65536];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            response.closedByServer = true;
            break;
        }
        buffer.append(chunk, n);
        for (;;) {
            const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
            if (headEnd < 0)
                break;
            const QByteArray head = buffer.left(headEnd).toLower();
            const qsizetype at = head.indexOf("content-length:");
            const int length =
                at < 0 ? 0 : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toInt();
            if (buffer.size() < headEnd + 4 + length)
                break;
            response.answers.append(buffer.left(headEnd + 4 + length));
            buffer.remove(0, headEnd + 4 + length);
        }
    }
}

// Sends each request on one connection, reading its answer before the next.
inline std::future<RawResponse> rawExchange(quint16 port, QList<QByteArray> requests,
                                            int waitMs = 10000)
{
    return std::async(std::launch::async, [port, requests, waitMs] {
        RawResponse response;
        const int fd = rawConnect(port);
        if (fd < 0)
            return response;
        response.connected = true;
        for (const QByteArray &request : requests) {
            if (::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) < 0)
                break;
            rawRead(fd, response, int(response.answers.size()) + 1, waitMs);
            if (response.closedByServer)
                break;
        }
        ::close(fd);
        return response;
    });
}

// Waits for the exchange while the test's event loop runs the server.
inline RawResponse await(std::future<RawResponse> &&exchange, int waitMs = 20000)
{
    const auto ready = [&] {
        return exchange.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    (void)QTest::qWaitFor(ready, waitMs);
    return ready() ? exchange.get() : RawResponse{};
}

// A log post as a game server sends it.
inline QByteArray logPost(const QByteArray &body, const QList<QByteArray> &headers = {},
                          const QByteArray &path = "/log")
{
    QByteArray request = "POST " + path +
                         " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                         "Content-Type: text/plain\r\nContent-Length: " +
                         QByteArray::number(body.size()) + "\r\n";
    for (const QByteArray &header : headers)
        request += header + "\r\n";
    return request + "\r\n" + body;
}
