#include "HttpIntake.h"

#include "LogPostReader.h"

#include "intake/DatagramIntake.h"
#include "intake/LogNote.h"
#include "intake/ScoringAbi.h"
#include "state/MainModule.h"
#include "state/TextFunctions.h"

#include <QTextStream>

namespace {

// The post's offsets, when they describe its body: a post whose offsets do not span its
// body cannot be placed in its stream.
bool placeable(const LogPost &post)
{
    return post.beginOffset && post.endOffset &&
           *post.endOffset - *post.beginOffset == post.body.size();
}

} // namespace

HttpIntake::HttpIntake(MainModule &state, DatagramIntake &intake, HttpLimits limits,
                       QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_intake(intake)
    , m_limits(limits)
{
    connect(&m_state.udpPeerB, &UdpSocketArray::ElementBound, this, &HttpIntake::onBound);
    connect(&m_state.udpPeerB, &UdpSocketArray::ElementClosed, this, &HttpIntake::onClosed);
}

HttpIntake::~HttpIntake() = default;

quint16 HttpIntake::port(int index) const
{
    const auto found = m_servers.find(index);
    return found == m_servers.end() ? 0 : found->second->port();
}

QString HttpIntake::logPath(int index) const
{
    const int row = m_state.ListView1.find(ConnKey(index));
    return row < 0 ? QString() : m_state.ListView1.row(row).log;
}

void HttpIntake::onBound(int index, quint16 port)
{
    auto server = std::make_unique<HttpLogServer>(
        [this, index](const LogPost &post) { return onPost(index, post); }, m_limits);
    if (const Status listening = server->listen(port); !listening) {
        const QString why =
            QStringLiteral("HTTP log posts can not be taken on port %1: %2 %3. Datagrams on "
                           "the port are still taken.")
                .arg(port)
                .arg(listening.error().number)
                .arg(listening.error().description);
        m_lastFailure = why;
        m_state.Label1.setCaption(why);
        QTextStream(stderr) << "varnock_udp: " << why << '\n';
        appendLogNote(logPath(index), why);
        m_servers.erase(index);
        return;
    }
    m_servers[index] = std::move(server);
}

// A sender whose every post skips bytes must not fill the log: a connection notes a gap at
// once, then at most one a minute with the number since the last note.
void HttpIntake::noteGap(int index, const LogPost &post, qint64 bytes)
{
    ++m_gaps;
    GapNotes &notes = m_gapNotes[index];
    ++notes.unnoted;
    if (notes.last.isValid() && notes.last.elapsed() < 60'000)
        return;
    const QString more =
        notes.unnoted > 1
            ? QStringLiteral(" (%1 posts skipped bytes since the last note)").arg(notes.unnoted)
            : QString();
    appendLogNote(logPath(index),
                  QStringLiteral("the log posts of %1 (from %2) skipped %3 bytes before offset "
                                 "%4: lines the server sent were not received%5")
                      .arg(QString::fromLatin1(post.serverAddr.left(100)), post.peerIp)
                      .arg(bytes)
                      .arg(*post.beginOffset)
                      .arg(more));
    notes.last.start();
    notes.unnoted = 0;
}

void HttpIntake::onClosed(int index)
{
    m_servers.erase(index);
    m_gapNotes.erase(index);
}

HttpAnswer HttpIntake::onPost(int index, const LogPost &post)
{
    const std::vector<PostLine> lines = linesOf(post);
    const PostSender sender = senderOf(post);
    QByteArray stream;
    if (placeable(post))
        stream = QByteArray::number(index) + '/' + streamKeyOf(post);
    StreamOffsets::Plan plan{post.beginOffset.value_or(0), 0};
    if (!stream.isEmpty())
        plan = m_offsets.plan(stream, *post.beginOffset, *post.endOffset, post.body);
    if (plan.gap > 0)
        noteGap(index, post, plan.gap);

    qint64 takenUpTo = plan.takeFrom;
    HttpAnswer answer{200, "taken", 0};
    for (const PostLine &line : lines) {
        if (!stream.isEmpty() && line.end <= plan.takeFrom)
            continue; // taken from an earlier send of this post
        const Result<bool> handed = m_intake.handOverLine(
            index, sender.ip, sender.port, post.localPort, payloadOf(post, line.text));
        if (handed && *handed) {
            takenUpTo = line.end;
            continue;
        }
        if (handed)
            answer = {403, "This port does not take log lines from this server.", 0};
        else if (handed.error().number == qint32(SC_E_PENDING))
            answer = {503, "Busy: send again later. " + handed.error().description.toUtf8(),
                      RetryAfterSeconds};
        else
            answer = {500, handed.error().description.toUtf8(), 0};
        break;
    }
    if (!stream.isEmpty()) {
        const qint64 upTo =
            answer.status == 200 ? std::max(*post.endOffset, plan.takeFrom) : takenUpTo;
        m_offsets.taken(stream, *post.beginOffset, *post.endOffset, post.body, upTo);
    }
    return answer;
}
