#include "ArrivalText.h"

#include <QDateTime>

namespace {

// Long time formats name the time zone ("t"); the status line never showed one.
QString withoutZone(const QString &format)
{
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        result.append(c);
    }
    return result.simplified();
}

} // namespace

ArrivalText::ArrivalText(QLocale locale)
    : m_locale(std::move(locale))
    , m_timeFormat(withoutZone(m_locale.timeFormat(QLocale::LongFormat)))
{
}

QString ArrivalText::dateTimeText(const QDateTime &when) const
{
    return m_locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           m_locale.toString(when.time(), m_timeFormat);
}

QString ArrivalText::announce(const QString &portText, const QString &peerIp, qint32 peerPort,
                              qint64 bytes)
{
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    if (second != m_cachedSecond) {
        m_cachedSecond = second;
        m_cachedText = dateTimeText(QDateTime::currentDateTime());
    }
    return QStringLiteral("Log recieved on port ") + portText + QStringLiteral(" at ") +
           m_cachedText + QStringLiteral(" from IP Address: ") + peerIp + QLatin1Char(':') +
           QString::number(peerPort) + QStringLiteral(" containing ") + QString::number(bytes) +
           QStringLiteral(" bytes of data.");
}
