#pragma once

#include "Result.h"

#include <QString>

#include <optional>

// Where component classes are registered: ProgID -> class id -> library path.
// Registrations are read from the user's file first, then from the system-wide one
// (/etc/xdg), the way the settings store reads its files.
class ClassRegistry
{
public:
    // The unnamed default value of a key, e.g. "Ledgerwell.Score_Class\Clsid" or
    // "Clsid\{...}\InprocServer32"; nothing when the key or value is missing.
    std::optional<QString> readDefault(const QString &keyPath) const;

    // Records the two entries for a class in the user's file.
    Status registerClass(const QString &progId, const QString &classId,
                         const QString &libraryPath) const;

    // The library registered for a ProgID, or nothing when the ProgID or its class is not
    // registered.
    std::optional<QString> libraryOf(const QString &progId) const;

    static QString userFilePath();
};
