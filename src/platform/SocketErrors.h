#pragma once

#include "Result.h"

// Error numbers and texts of the socket control array, as operators know them from the
// messages: 10048 "Address in use" and its siblings.
namespace SocketErrors {

constexpr qint32 AddressInUse = 10048;
constexpr qint32 AddressNotAvailable = 10049;
constexpr qint32 PermissionDenied = 10013;
constexpr qint32 InvalidPropertyValue = 380;
constexpr qint32 InvalidOperationAtCurrentState = 40020;
constexpr qint32 ElementDoesNotExist = 340;
constexpr qint32 ElementAlreadyLoaded = 360;
constexpr qint32 CannotUnloadDesignElement = 362;
constexpr qint32 NoDataWaiting = 40006;
constexpr qint32 GeneralFailure = 10050;

// A failed socket call, from its errno.
ErrorInfo fromErrno(int error);
ErrorInfo invalidPort(qint64 port);
ErrorInfo notLoaded(int index);
ErrorInfo alreadyLoaded(int index);
ErrorInfo designElement();
ErrorInfo alreadyBound();
ErrorInfo noDatagram();
// The reader thread could not take the socket.
ErrorInfo readerFailed();

} // namespace SocketErrors
