#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ledgerwell {

// Where a connection string leads: an SQLite file (the Jet providers map to it) or a
// PostgreSQL database.
struct ConnectionSettings
{
    enum class Engine { Sqlite, Postgres };

    Engine engine = Engine::Sqlite;
    std::string file; // SQLite: the database file, which must exist
    std::string host; // PostgreSQL
    int port = 5432;
    std::string database;
    std::string user;
    std::string password;
};

// Reads the program's key=value;... connection strings with the program's own reader
// (ConnectionElements), so Ledgerwell writes to the database the program created the tables
// in. Unknown keys are ignored. On failure returns nothing and sets error to a sentence saying
// why.
std::optional<ConnectionSettings> parseConnectionString(std::string_view text, std::string &error);

// The database itself, whatever the text that named it: the SQLite file's resolved path, or
// the PostgreSQL server and database.
std::string databaseIdentity(const ConnectionSettings &settings);

} // namespace ledgerwell
