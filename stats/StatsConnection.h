#pragma once

#include "platform/Result.h"

#include <QSqlDatabase>
#include <QString>

// Which SQL the statistics pages speak to a database.
enum class Dialect { Sqlite, Postgres };

// How a connection is used: pages only read; the standings writer alone writes, and only
// its own tables.
enum class Access { ReadOnly, Writer };

// A Qt SQL connection named `name` to the database a connection string names (the SQLite
// providers and PostgreSQL, as the program reads the string). Read-only connections are
// refused writes by the engine itself and give up a statement after QueryLimitMs.
Result<QSqlDatabase> openStatsConnection(const QString &connString, const QString &name,
                                         Access access);

Dialect dialectOf(const QSqlDatabase &db);

// The engine's own handle of a SQLite connection; null for any other.
struct sqlite3;
sqlite3 *sqliteHandle(const QSqlDatabase &db);

// The connection string without its password, for pages and messages.
QString databaseLabel(const QString &connString);

constexpr int QueryLimitMs = 3000;

// Starts the time limit of the next statement on a read-only SQLite connection (PostgreSQL
// keeps its own statement_timeout).
void startQueryClock(const QSqlDatabase &db);

// A date column as text ("2024-05-01 20:15:03"), whichever type the engine returned.
QString dateText(const QVariant &value);
