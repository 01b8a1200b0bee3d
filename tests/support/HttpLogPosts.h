#pragma once

#include "RawHttp.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>

// Log posts as a CS2 server sends them: its headers and its body.
struct HttpLogPost
{
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QByteArray request(const QByteArray &path = "/log") const
    {
        QByteArray text = "POST " + path + " HTTP/1.1\r\n";
        bool hasLength = false;
        for (const auto &[name, value] : headers) {
            text += name + ": " + value + "\r\n";
            hasLength = hasLength || name.compare("Content-Length", Qt::CaseInsensitive) == 0;
        }
        if (!hasLength)
            text += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        return text + "\r\n" + body;
    }
};

// The posts of a capture written as "[time] POST /path", "HEADERS: Name=value; ...",
// "BODY:", Content-Length bytes of body, "---" (tests/data/http/SOURCES).
inline QList<HttpLogPost> readCapture(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = file.readAll();
    QList<HttpLogPost> posts;
    qsizetype at = 0;
    while ((at = text.indexOf("\nHEADERS: ", at)) >= 0) {
        const qsizetype end = text.indexOf('\n', at + 1);
        HttpLogPost post;
        qsizetype length = -1;
        for (const QByteArray &field : text.mid(at + 10, end - at - 10).split(';')) {
            const QByteArray trimmed = field.trimmed();
            const qsizetype equals = trimmed.indexOf('=');
            // "Accept=text/html,*/*;q=0.9" splits into a header and a piece of its value.
            if (equals <= 0 || trimmed.startsWith("q=")) {
                if (!post.headers.isEmpty())
                    post.headers.last().second += ';' + trimmed;
                continue;
            }
            post.headers.append({trimmed.left(equals), trimmed.mid(equals + 1)});
            if (post.headers.last().first == "Content-Length")
                length = post.headers.last().second.toLongLong();
        }
        const qsizetype body = text.indexOf("BODY:\n", end) + 6;
        post.body = text.mid(body, length);
        posts.append(post);
        at = body + length;
    }
    return posts;
}

// A server's log file lines as CS2 would post them: "L MM/DD/YYYY - hh:mm:ss: event" becomes
// "MM/DD/YYYY - hh:mm:ss.000 - event", batched with the offsets that place each post.
inline QList<HttpLogPost> postsOfLogLines(const QList<QByteArray> &lines, int perPost,
                                          const QByteArray &serverAddr)
{
    QList<HttpLogPost> posts;
    qint64 offset = 0;
    for (qsizetype i = 0; i < lines.size(); i += perPost) {
        HttpLogPost post;
        for (const QByteArray &line : lines.mid(i, perPost)) {
            if (line.startsWith("L ") && line.size() >= 25 && line.mid(23, 2) == ": ")
                post.body += line.mid(2, 21) + ".000 - " + line.mid(25) + '\n';
            else
                post.body += line + '\n';
        }
        post.headers = {{"X-Server-Addr", serverAddr},
                        {"X-Server-Instance-Token", "3b1d5e7a9c2f4e60"},
                        {"X-LogBytes-BeginOffset", QByteArray::number(offset)},
                        {"X-LogBytes-EndOffset", QByteArray::number(offset + post.body.size())},
                        {"Content-Type", "text/plain"},
                        {"User-Agent", "Valve/Steam HTTP Client 1.0 (730)"}};
        offset += post.body.size();
        posts.append(post);
    }
    return posts;
}

// Sends the posts in order over one kept-alive connection to a program on 127.0.0.1, each
// after the answer to the one before, as a game server does. The statuses, in order.
inline QList<int> sendPosts(quint16 port, const QList<HttpLogPost> &posts)
{
    QList<int> statuses;
    int fd = rawConnect(port);
    for (const HttpLogPost &post : posts) {
        RawResponse response;
        const QByteArray request = post.request();
        if (fd < 0 || ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) < 0) {
            statuses << -1;
            break;
        }
        rawRead(fd, response, 1, 60000);
        statuses << response.status();
        if (response.closedByServer) {
            ::close(fd);
            fd = rawConnect(port);
        }
    }
    if (fd >= 0)
        ::close(fd);
    return statuses;
}
