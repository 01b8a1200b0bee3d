#include "LogNote.h"

#include <QDateTime>
#include <QFile>

void appendLogNote(const QString &path, const QString &text)
{
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    const QString line =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
        QStringLiteral(" Varnock_UDP: ") + text + QLatin1Char('\n');
    const QByteArray bytes = line.toUtf8();
    file.write(bytes);
}
