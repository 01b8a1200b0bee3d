#include "SocketErrors.h"

namespace SocketErrors {

ErrorInfo fromSocket(QAbstractSocket::SocketError error, const QString &qtText)
{
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        return {AddressInUse, QStringLiteral("Address in use")};
    case QAbstractSocket::SocketAccessError:
        return {PermissionDenied, QStringLiteral("Permission denied")};
    case QAbstractSocket::SocketAddressNotAvailableError:
        return {AddressNotAvailable,
                QStringLiteral("Address not available from the local machine")};
    default:
        return {GeneralFailure, qtText.isEmpty() ? QStringLiteral("Network failure") : qtText};
    }
}

ErrorInfo invalidPort(qint64 port)
{
    return {
        InvalidPropertyValue,
        QStringLiteral("Invalid property value (port %1 is not between 1 and 65535)").arg(port)};
}

ErrorInfo notLoaded(int index)
{
    return {ElementDoesNotExist,
            QStringLiteral("Control array element '%1' doesn't exist").arg(index)};
}

ErrorInfo alreadyLoaded(int index)
{
    return {ElementAlreadyLoaded,
            QStringLiteral("Object already loaded (socket element %1)").arg(index)};
}

ErrorInfo designElement()
{
    return {CannotUnloadDesignElement,
            QStringLiteral("Can't unload controls created at design time")};
}

ErrorInfo alreadyBound()
{
    return {InvalidOperationAtCurrentState, QStringLiteral("Invalid operation at current state")};
}

ErrorInfo noDatagram()
{
    return {NoDataWaiting, QStringLiteral("No datagram is waiting")};
}

} // namespace SocketErrors
