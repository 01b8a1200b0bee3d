#pragma once

#include <QByteArray>

// How game servers frame a log line in a datagram.
namespace Framed {

inline QByteArray framed(const QByteArray &header, const QByteArray &line)
{
    return QByteArray("\xFF\xFF\xFF\xFF") + header + line + QByteArray("\n\0", 2);
}

inline QByteArray hl1(const QByteArray &line) // GoldSrc: "log " line
{
    return framed("log ", line);
}

inline QByteArray source(const QByteArray &line) // Source: "R" line
{
    return framed("R", line);
}

inline QByteArray secret(const QByteArray &line, const QByteArray &secret) // "S" secret line
{
    return framed("S" + secret, line);
}

} // namespace Framed
