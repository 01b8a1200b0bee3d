#include "PortEntry.h"

#include "platform/UdpSocketArray.h"
#include "state/NumberText.h"

Result<qint32> portFromText(const QString &text)
{
    const std::optional<qint32> port = NumberText::toInt32(text);
    if (!port)
        return ErrorInfo{6, QStringLiteral("Overflow (\"%1\" is no port number)").arg(text)};
    return *port;
}

bool portInUse(const UdpSocketArray &sockets, qint64 port)
{
    for (const int index : sockets.indexes()) {
        if (sockets.element(index)->LocalPort() == port)
            return true;
    }
    return false;
}
