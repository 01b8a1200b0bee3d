#pragma once

#include "platform/Result.h"

#include <QString>

// Error numbers for file failures, in the style operators know from the Windows file errors.
namespace FileErrorNumber {
constexpr qint32 InvalidArgument = 5;
constexpr qint32 Overflow = 6;
constexpr qint32 FileNotFound = 53;
constexpr qint32 DeviceIoError = 57;
constexpr qint32 DiskFull = 61;
constexpr qint32 PathFileAccessError = 75;
constexpr qint32 PathNotFound = 76;
} // namespace FileErrorNumber

enum class FileAccess { Reading, Writing };

// A failure of a file operation, e.g. fileError(ENOSPC, "Can not write", path) gives 61 with
// "Can not write /x/connections.cfg: No space left on device".
ErrorInfo fileError(int osError, const QString &action, const QString &path, FileAccess access);

// The same failure with what it means for the operator's data appended ("...; the previous
// file is unchanged").
ErrorInfo withConsequence(ErrorInfo error, const QString &consequence);
