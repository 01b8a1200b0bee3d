#pragma once

#include <QLocale>
#include <QString>

// The status line text for one datagram. The date and time part (the locale's short date
// with the year in full, a blank and its long time) is formatted at most once per second: a
// busy port announces thousands of datagrams a second.
class ArrivalText
{
public:
    // The default locale is the system's unless the program has set another.
    explicit ArrivalText(QLocale locale = QLocale());

    QString announce(const QString &portText, const QString &peerIp, qint32 peerPort, qint64 bytes);

    // The general date format of the locale: short date with a four-digit year, blank, long
    // time without a zone.
    QString dateTimeText(const QDateTime &when) const;

private:
    QLocale m_locale;
    QString m_dateFormat;
    QString m_timeFormat;
    qint64 m_cachedSecond = -1;
    QString m_cachedText;
};
