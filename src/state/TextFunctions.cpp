#include "TextFunctions.h"

#include "NumberText.h"

QString ConnKey(qint32 n)
{
    return QStringLiteral("con") + QString::number(n);
}

qint32 ConnNumber(const QString &key)
{
    const QString digits = key.mid(3);
    if (digits.isEmpty() || !digits.at(0).isDigit() || digits.at(0).unicode() > 0x7f)
        return 0;
    return NumberText::toInt32(digits).value_or(0);
}

QString StripSegment(const QString &text, const QString &marker)
{
    const qsizetype p = text.indexOf(marker);
    if (p < 0)
        return text;
    qsizetype q = text.indexOf(QLatin1Char(';'), p + 1);
    if (q < 0)
        q = text.size();
    return text.left(p + 1) + text.mid(q + 1);
}

QString DataSourceOf(const QString &connString)
{
    const QLatin1String marker(";Data Source=");
    const qsizetype p = connString.indexOf(marker);
    if (p < 0)
        return QString();
    const qsizetype start = p + marker.size();
    const qsizetype end = connString.indexOf(QLatin1Char(';'), start);
    return connString.mid(start, end < 0 ? -1 : end - start);
}
