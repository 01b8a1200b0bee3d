#include "SocketErrors.h"

#include <cerrno>
#include <cstring>

namespace SocketErrors {

ErrorInfo fromErrno(int error)
{
    switch (error) {
    case EADDRINUSE:
        return {AddressInUse, QStringLiteral("Address in use")};
    case EACCES:
    case EPERM:
        return {PermissionDenied, QStringLiteral("Permission denied")};
    case EADDRNOTAVAIL:
        return {AddressNotAvailable,
                QStringLiteral("Address not available from the local machine")};
    default:
        return {GeneralFailure, QString::fromLocal8Bit(std::strerror(error))};
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

ErrorInfo readerFailed()
{
    return {GeneralFailure, QStringLiteral("The socket could not be watched for datagrams")};
}

} // namespace SocketErrors
