#pragma once

#include "Result.h"

#include <QString>

// Creates path as a new, empty database file of the embedded engine, for a connection that
// starts from nothing. An existing file is never touched, and the new file appears complete
// or not at all.
Status createEmptyDatabaseFile(const QString &path);
