#pragma once

#include "WriteHooks.h"

#include "platform/Result.h"

#include <QByteArray>
#include <QString>

// Replaces the file with `contents` as a whole or not at all. The contents go to a temporary
// file in the same folder; every write is checked, the data is synced to the disk, and only
// then is the temporary renamed over the file. On any failure the temporary is removed and
// the file stays as it was. A failure names the file and the system's reason.
Status replaceFileContents(const QString &path, const QByteArray &contents,
                           const WriteHooks &hooks = {});

// The whole file; a failure names the file and the system's reason.
Result<QByteArray> readFileContents(const QString &path);
