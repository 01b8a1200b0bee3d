#include "LogPostReader.h"

#include <QCryptographicHash>

namespace {

bool allDigits(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

} // namespace

quint16 portOfAddress(QByteArrayView address)
{
    const qsizetype colon = address.lastIndexOf(':');
    if (colon <= 0)
        return 0;
    const QByteArrayView host = address.first(colon);
    // An IPv6 address carries its own colons and must be bracketed before a port.
    if (host.contains(':') && !(host.startsWith('[') && host.endsWith(']')))
        return 0;
    const QByteArrayView digits = address.sliced(colon + 1);
    if (!allDigits(digits))
        return 0;
    const int port = digits.toInt();
    return port >= 1 && port <= 65535 ? quint16(port) : 0;
}

PostSender senderOf(const LogPost &post)
{
    const quint16 gamePort = portOfAddress(post.serverAddr.trimmed());
    return {post.peerIp, gamePort ? qint32(gamePort) : qint32(post.peerPort)};
}

std::vector<PostLine> linesOf(const LogPost &post)
{
    std::vector<PostLine> lines;
    const QByteArrayView body(post.body);
    const qint64 base = post.beginOffset.value_or(0);
    qsizetype start = 0;
    while (start < body.size()) {
        qsizetype end = body.indexOf('\n', start);
        const qsizetype next = end < 0 ? body.size() : end + 1;
        if (end < 0)
            end = body.size();
        QByteArrayView line = body.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            lines.push_back({line, base + next});
        start = next;
    }
    return lines;
}

QByteArray payloadOf(const LogPost &post, QByteArrayView line)
{
    if (post.uniqueToken.isEmpty())
        return line.toByteArray();
    QByteArray payload;
    payload.reserve(5 + post.uniqueToken.size() + line.size());
    payload.append("\xFF\xFF\xFF\xFFS", 5).append(post.uniqueToken).append(line);
    return payload;
}

QByteArray streamKeyOf(const LogPost &post)
{
    QByteArray key;
    if (!post.instanceToken.isEmpty())
        key = "i:" + post.instanceToken;
    else if (!post.serverAddr.isEmpty())
        key = "a:" + post.serverAddr + '@' + post.peerIp.toLatin1();
    // Real tokens and addresses are short; a long one is remembered by its digest, so the
    // streams kept cost little whatever the headers hold.
    if (key.size() > 64)
        key = "h:" + QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex();
    return key;
}
