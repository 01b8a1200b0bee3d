#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

#include <map>
#include <unistd.h>

// CPU microseconds of each thread of this process, summed by thread name: the program's
// thread, Ledgerwell's writer and log threads, and Qt's own.
inline std::map<QString, qint64> threadCpu()
{
    std::map<QString, qint64> byName;
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const qsizetype open = text.indexOf('('), close = text.lastIndexOf(')');
        const QList<QByteArray> fields = text.mid(close + 2).split(' ');
        if (open < 0 || close < 0 || fields.size() < 13)
            continue;
        const QString name = QString::fromUtf8(text.mid(open + 1, close - open - 1));
        // utime and stime, the 14th and 15th fields of the line
        byName[name] +=
            (fields.at(11).toLongLong() + fields.at(12).toLongLong()) * 1000000 / ticksPerSecond;
    }
    return byName;
}
