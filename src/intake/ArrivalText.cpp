#include "ArrivalText.h"

#include <QDateTime>
#include <QStringBuilder>

#include <charconv>

namespace {

// Decimal digits without a QString of their own: the line is built for every datagram.
struct Digits
{
    explicit Digits(qint64 value)
        : length(std::to_chars(text, text + sizeof text, value).ptr - text)
    {
    }
    QLatin1StringView view() const { return QLatin1StringView(text, length); }

    char text[24];
    qsizetype length;
};

// The format with every unquoted run of `letter` replaced by `replacement`.
QString replaceRuns(const QString &format, QChar letter, const QString &replacement)
{
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != letter) {
            result.append(c);
            continue;
        }
        while (i + 1 < format.size() && format.at(i + 1) == letter)
            ++i;
        result.append(replacement);
    }
    return result;
}

// Many locales give the year in two digits in their short date (M/d/yy); the status line
// always gives it in full.
QString withFullYear(const QString &format)
{
    return replaceRuns(format, QLatin1Char('y'), QStringLiteral("yyyy"));
}

// Long time formats name the time zone ("t"); the status line never showed one.
QString withoutZone(const QString &format)
{
    return replaceRuns(format, QLatin1Char('t'), QString()).simplified();
}

} // namespace

ArrivalText::ArrivalText(QLocale locale)
    : m_locale(std::move(locale))
    , m_dateFormat(withFullYear(m_locale.dateFormat(QLocale::ShortFormat)))
    , m_timeFormat(withoutZone(m_locale.timeFormat(QLocale::LongFormat)))
{
}

QString ArrivalText::dateTimeText(const QDateTime &when) const
{
    return m_locale.toString(when.date(), m_dateFormat) + QLatin1Char(' ') +
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
    // One allocation for the whole line: it is made for every datagram.
    return QStringLiteral("Log recieved on port ") % portText % QStringLiteral(" at ") %
           m_cachedText % QStringLiteral(" from IP Address: ") % peerIp % QLatin1Char(':') %
           Digits(peerPort).view() % QStringLiteral(" containing ") % Digits(bytes).view() %
           QStringLiteral(" bytes of data.");
}
