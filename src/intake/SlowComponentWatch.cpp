#include "SlowComponentWatch.h"

QString SlowComponentWatch::handedOver(qint64 elapsedMs, qint32 port)
{
    const bool slow = elapsedMs > ThresholdMs;
    const bool begins = slow && !m_slow;
    m_slow = slow;
    if (!begins)
        return QString();
    return QStringLiteral("The scoring component took %1 seconds for one datagram on port %2; "
                          "no port received meanwhile. This is said once until it is quick "
                          "again.")
        .arg(QString::number(double(elapsedMs) / 1000.0, 'f', 1))
        .arg(port);
}
