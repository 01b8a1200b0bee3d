#pragma once

#include <QString>

// The settings store for the window layout: text values under the application key, kept in
// $XDG_CONFIG_HOME/Halvemark/<application key>.ini (the registry on Windows). Failures are
// silent by design: a store that cannot be used reads as "no value" everywhere and saves
// nothing, so the program runs on its computed defaults.

// The answer for a missing value: exactly 254 blanks.
QString NoValue();

void SaveRegValue(const QString &appKey, const QString &valueName, const QString &text);

// The value's text, or NoValue() when it is missing, longer than 254 characters, not a
// single text, or the store cannot be used.
QString ReadRegValue(const QString &appKey, const QString &valueName);
