#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ledgerwell {

// The 17 statistics tables, in the order the program creates them, then Ledgerwell's own
// tables for what the 17 have no place for (it creates them when they are missing).
enum class Table : std::uint8_t {
    Cvars,
    Games,
    GamesCvars,
    GamesMaps,
    GamesPlayersCvars,
    GamesPlayersTeams,
    Logs,
    LogsGames,
    Maps,
    Players,
    Scores,
    Servers,
    ServersCvars,
    ServersGames,
    Teams,
    Types,
    Weapons,
    Kills,       // Ledgerwell_Kills: a kill's flags and positions
    Results,     // Ledgerwell_Results: round and match results
    WeaponStats, // Ledgerwell_Weapon_Stats: a player's accuracy with a weapon in a game
    Commits,     // Ledgerwell_Commits: one row a transaction, to tell after a lost connection
    // Ledgerwell_Details: what a line says of a Scores row beyond its columns (a capture's
    // cappers, an attack's hit group, a medic's dropped charge). Last, so that the numbers of
    // the statements before it stay those that spill files of earlier versions hold.
    Details,
};
constexpr std::size_t TableCount = 22;
constexpr std::size_t StatisticsTableCount = 17;

constexpr bool isOwnTable(Table table)
{
    return static_cast<std::size_t>(table) >= StatisticsTableCount;
}

// Every statement the component runs while scoring: one insert per table (all columns,
// Record first) and the two updates of rows that change while they are in use.
enum class Statement : std::uint8_t {
    // Insert into Table(n) is Statement(n).
    UpdateServer = TableCount, // Server_Name, Packet_Number, Date_Time where Record
    UpdateGameEnd,             // Game_End_Date_Time, Game_Flags where Record
    // Server_Name unless null, Packet_Number + n, Date_Time where Record. Scoring writes this
    // one; UpdateServer, which sets the count, stays for rows kept by earlier versions.
    CountServer,
};
constexpr std::size_t StatementCount = TableCount + 3;

enum class Dialect { Sqlite, Postgres };

const char *tableName(Table table);
Table statementTable(Statement statement);
bool isInsert(Statement statement);
std::size_t parameterCount(Statement statement);
// The SQL text with placeholders (? or $n); the column Offset is quoted, being a keyword.
std::string statementSql(Statement statement, Dialect dialect);
// The columns that name a row of a name table (a player, a map, a cvar's name and value, a
// server's address and port): values first .. first + count - 1 of its insert. count 0: the
// table holds no names.
struct NameKey
{
    std::size_t first = 0;
    std::size_t count = 0;
};
NameKey nameKey(Table table);
// The column names of the table, Record first.
std::string columnName(Table table, std::size_t column);

// CREATE TABLE IF NOT EXISTS for one of Ledgerwell's own tables.
std::string createOwnTableSql(Table table, Dialect dialect);
// The INSERT of one row into the table.
std::string insertSql(Table table, Dialect dialect);
// PostgreSQL's COPY of the table's rows from the client, its columns in the insert's order.
std::string copySql(Table table);

constexpr Statement insertInto(Table table)
{
    return static_cast<Statement>(table);
}
constexpr std::size_t index(Table table)
{
    return static_cast<std::size_t>(table);
}
constexpr std::size_t index(Statement statement)
{
    return static_cast<std::size_t>(statement);
}

// Text column lengths, in characters.
namespace Length {
constexpr std::size_t Name = 50;    // Cvar, Player, Team, Type, Weapon, StdLog_Ver, Patch_Name
constexpr std::size_t Value = 250;  // Val
constexpr std::size_t Long = 128;   // Map, Server_Name
constexpr std::size_t Address = 16; // Server_IP
constexpr std::size_t Port = 6;     // Server_Port
constexpr std::size_t LogAddr = 50; // Log_IP
} // namespace Length

} // namespace ledgerwell
