#include "MetricsAddress.h"

namespace {

ErrorInfo invalid(const QString &text, const QString &why)
{
    return {5, QStringLiteral("Invalid procedure call or argument: --metrics=%1: %2; give PORT, "
                              "ADDRESS:PORT or [IPv6 ADDRESS]:PORT")
                   .arg(text, why)};
}

} // namespace

Result<MetricsAddress> parseMetricsAddress(const QString &text)
{
    QString host = QStringLiteral("127.0.0.1");
    QString port = text;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1String("]:"));
        if (close < 0)
            return invalid(text, QStringLiteral("an IPv6 address needs its port after \"]:\""));
        host = text.mid(1, close - 1);
        port = text.mid(close + 2);
    } else if (const qsizetype colon = text.lastIndexOf(QLatin1Char(':')); colon >= 0) {
        host = text.left(colon);
        port = text.mid(colon + 1);
    }
    MetricsAddress address;
    if (!address.host.setAddress(host))
        return invalid(text, QStringLiteral("\"%1\" is not an IP address").arg(host));
    bool ok = false;
    const uint number = port.toUInt(&ok);
    if (!ok || number > 65535)
        return invalid(text, QStringLiteral("\"%1\" is not a port number").arg(port));
    address.port = quint16(number);
    return address;
}
