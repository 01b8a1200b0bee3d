// HTTP log posts: what the program reads of a post's address header and body on any bytes,
// and where the stream bookkeeping puts a post, sent once and sent again.
#include "httpintake/LogPostReader.h"
#include "httpintake/StreamOffsets.h"

#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// The input is the address header, a NUL, the token, a NUL, and the body.
LogPost postOf(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<QByteArray> parts = bytes.split('\0');
    LogPost post;
    post.peerIp = QStringLiteral("127.0.0.1");
    post.peerPort = 40000;
    post.serverAddr = parts.value(0);
    post.uniqueToken = parts.value(1);
    post.body = parts.mid(2).join('\0');
    post.beginOffset = qint64(size % 1000);
    post.endOffset = *post.beginOffset + post.body.size();
    return post;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const LogPost post = postOf(data, size);

    const quint16 port = portOfAddress(post.serverAddr);
    check(port == 0 || post.serverAddr.endsWith(QByteArray::number(port)));
    check(senderOf(post).port > 0 && senderOf(post).ip == post.peerIp);

    // Lines are whole, in order, inside the body, and each ends where its stream offset says.
    qint64 lastEnd = *post.beginOffset;
    for (const PostLine &line : linesOf(post)) {
        check(!line.text.isEmpty() && !line.text.contains('\n'));
        check(line.end > lastEnd && line.end <= *post.endOffset);
        // The line is the body's bytes up to its end, less the line end (one CR of a CR LF).
        const qsizetype at = line.end - *post.beginOffset;
        const QByteArray upTo = post.body.left(at);
        const QByteArray text = line.text.toByteArray();
        if (at < post.body.size() || upTo.endsWith('\n'))
            check(upTo.endsWith(text + "\r\n") || upTo.endsWith(text + '\n'));
        else
            check(at == post.body.size() && (upTo.endsWith(text) || upTo.endsWith(text + '\r')));
        lastEnd = line.end;
        // The line as it came, behind the secret's header when the post has a token.
        const QByteArray payload = payloadOf(post, line.text);
        check(payload.endsWith(text));
        check(post.uniqueToken.isEmpty()
                  ? payload == text
                  : payload == "\xFF\xFF\xFF\xFFS" + post.uniqueToken + text);
    }

    // A post sent again is taken from where it was taken; the next one carries on.
    StreamOffsets offsets;
    const QByteArray stream = streamKeyOf(post) + "x";
    offsets.taken(stream, *post.beginOffset, *post.endOffset, post.body, *post.endOffset);
    const StreamOffsets::Plan again =
        offsets.plan(stream, *post.beginOffset, *post.endOffset, post.body);
    check(again.takeFrom == *post.endOffset && again.gap == 0);
    const StreamOffsets::Plan next =
        offsets.plan(stream, *post.endOffset, *post.endOffset + 10, "0123456789");
    check(next.takeFrom == *post.endOffset && next.gap == 0);
    return 0;
}
