#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMap>
#include <QString>

// What the recording test component saw: one entry per instance, its calls in order.
struct RecordedCall
{
    QString member;
    QString value;
};

struct RecordedInstance
{
    unsigned id = 0;
    QList<RecordedCall> calls;

    QString value(const QString &member) const
    {
        for (const RecordedCall &call : calls) {
            if (call.member == member)
                return call.value;
        }
        return QString();
    }
    QStringList members() const
    {
        QStringList names;
        for (const RecordedCall &call : calls)
            names.append(call.member);
        return names;
    }
    QByteArray payload() const
    {
        return QByteArray::fromHex(value(QStringLiteral("Payload")).mid(1).toLatin1());
    }
};

inline QList<RecordedInstance> readRecording(const QString &path)
{
    QFile file(path);
    QMap<unsigned, RecordedInstance> byId;
    if (!file.open(QIODevice::ReadOnly))
        return {};
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).chopped(1);
        const qsizetype firstBlank = line.indexOf(QLatin1Char(' '));
        const qsizetype secondBlank = line.indexOf(QLatin1Char(' '), firstBlank + 1);
        const unsigned id = line.left(firstBlank).toUInt();
        RecordedInstance &instance = byId[id];
        instance.id = id;
        instance.calls.append(
            {line.mid(firstBlank + 1, secondBlank < 0 ? -1 : secondBlank - firstBlank - 1),
             secondBlank < 0 ? QString() : line.mid(secondBlank + 1)});
    }
    return byId.values();
}
