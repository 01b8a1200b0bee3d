#pragma once

#include "platform/DbConnection.h"

// The database open: a new connection object from the factory, opened with connString.
// Closing is the object's Close (or its destruction).
Result<std::unique_ptr<DbConnection>> OpenDatabase(const DbConnectionFactory &newConnection,
                                                   const QString &connString);
