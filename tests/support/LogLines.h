#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>

// The lines of a log file as a server sends them: one datagram each, without line ends.
inline QList<QByteArray> logLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines;
    for (QByteArray line : file.readAll().split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            lines << line;
    }
    return lines;
}
