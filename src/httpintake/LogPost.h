#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// One HTTP log post as it arrived: who sent it, what its headers say about the server and
// the stream, and its body, untouched.
struct LogPost
{
    QString peerIp; // the TCP peer, dotted IPv4 (an IPv4-mapped IPv6 address is unmapped)
    quint16 peerPort = 0;
    quint16 localPort = 0;
    QByteArray serverAddr;             // X-Server-Addr as sent, empty when missing
    QByteArray instanceToken;          // X-Server-Instance-Token
    QByteArray uniqueToken;            // X-Server-Unique-Token: the server's log secret
    std::optional<qint64> beginOffset; // X-Logbytes-BeginOffset
    std::optional<qint64> endOffset;   // X-Logbytes-EndOffset
    QByteArray body;
};
