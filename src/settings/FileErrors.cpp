#include "FileErrors.h"

#include <cerrno>

namespace {

qint32 errorNumber(int osError, FileAccess access)
{
    switch (osError) {
    case ENOSPC:
    case EDQUOT:
        return FileErrorNumber::DiskFull;
    case ENOENT:
        // A missing file is news when reading; when writing it means the folder is missing.
        return access == FileAccess::Reading ? FileErrorNumber::FileNotFound
                                             : FileErrorNumber::PathNotFound;
    case ENOTDIR:
        return FileErrorNumber::PathNotFound;
    case EIO:
        return FileErrorNumber::DeviceIoError;
    default:
        return FileErrorNumber::PathFileAccessError;
    }
}

} // namespace

ErrorInfo fileError(int osError, const QString &action, const QString &path, FileAccess access)
{
    return ErrorInfo{errorNumber(osError, access),
                     QStringLiteral("%1 %2: %3").arg(action, path, qt_error_string(osError))};
}

ErrorInfo withConsequence(ErrorInfo error, const QString &consequence)
{
    error.description += QStringLiteral("; ") + consequence;
    return error;
}
