#include "Tables.h"

#include <array>
#include <initializer_list>
#include <vector>

namespace ledgerwell {

namespace {

struct TableColumns
{
    const char *name;
    std::vector<const char *> columns; // after Record
};

const std::array<TableColumns, TableCount> &tables()
{
    static const std::array<TableColumns, TableCount> list = {{
        {"Cvars", {"Cvar", "Val", "Date_Time"}},
        {"Games",
         {"StdLog_Ver", "Patch_Name", "Game_Start_Date_Time", "Game_End_Date_Time", "Game_Flags"}},
        {"Games_Cvars", {"Game", "Cvar"}},
        {"Games_Maps", {"Game", "Map"}},
        {"Games_Players_Cvars", {"Game", "Player", "Cvar"}},
        {"Games_Players_Teams", {"Game", "Player", "Team"}},
        {"Logs", {"Log_IP", "Log_Port", "Log_Data", "Log_Date"}},
        {"Logs_Games", {"Log", "Game"}},
        {"Maps", {"Map", "Date_Time"}},
        {"Players", {"Player", "Date_Time"}},
        {"Scores", {"Killer", "Victim", "Type", "Weapon", "Score", "Offset"}},
        {"Servers", {"Server_Name", "Server_IP", "Server_Port", "Packet_Number", "Date_Time"}},
        {"Servers_Cvars", {"Server", "Cvar"}},
        {"Servers_Games", {"Server", "Game"}},
        {"Teams", {"Team", "Date_Time"}},
        {"Types", {"Type", "Date_Time"}},
        {"Weapons", {"Weapon", "Date_Time"}},
        {"Ledgerwell_Kills",
         {"Score", "Game", "Headshot", "Flags", "Killer_Position", "Victim_Position"}},
        {"Ledgerwell_Results", {"Game", "Kind", "Team", "Result", "Score", "Date_Time"}},
        {"Ledgerwell_Weapon_Stats",
         {"Game", "Player", "Weapon", "Shots", "Hits", "Kills", "Headshots", "Damage", "Deaths"}},
        {"Ledgerwell_Commits", {"Writer", "Date_Time"}},
        {"Ledgerwell_Details", {"Score", "Game", "Player", "Kind", "Detail"}},
    }};
    return list;
}

std::string column(const char *name, Dialect dialect)
{
    if (std::string(name) == "Offset")
        return dialect == Dialect::Postgres ? "\"offset\"" : "\"Offset\"";
    return name;
}

std::string placeholder(std::size_t number, Dialect dialect)
{
    return dialect == Dialect::Postgres ? "$" + std::to_string(number) : std::string("?");
}

std::string update(const char *table, std::initializer_list<const char *> columns, Dialect dialect)
{
    std::string sql = std::string("UPDATE ") + table + " SET ";
    std::size_t number = 0;
    for (const char *name : columns) {
        sql +=
            (number ? ", " : "") + column(name, dialect) + " = " + placeholder(number + 1, dialect);
        ++number;
    }
    return sql + " WHERE Record = " + placeholder(number + 1, dialect);
}

} // namespace

const char *tableName(Table table)
{
    return tables()[index(table)].name;
}

Table statementTable(Statement statement)
{
    switch (statement) {
    case Statement::UpdateServer:
    case Statement::CountServer:
        return Table::Servers;
    case Statement::UpdateGameEnd:
        return Table::Games;
    default:
        return static_cast<Table>(statement);
    }
}

bool isInsert(Statement statement)
{
    return index(statement) < TableCount;
}

std::size_t parameterCount(Statement statement)
{
    if (!isInsert(statement))
        return statement == Statement::UpdateGameEnd ? 3 : 4;
    return 1 + tables()[index(statement)].columns.size();
}

std::string statementSql(Statement statement, Dialect dialect)
{
    if (statement == Statement::UpdateServer)
        return update("Servers", {"Server_Name", "Packet_Number", "Date_Time"}, dialect);
    if (statement == Statement::UpdateGameEnd)
        return update("Games", {"Game_End_Date_Time", "Game_Flags"}, dialect);
    if (statement == Statement::CountServer) {
        // The count stays within the column's 32 bits.
        const bool pg = dialect == Dialect::Postgres;
        return std::string("UPDATE Servers SET Server_Name = COALESCE(") + placeholder(1, dialect) +
               ", Server_Name), Packet_Number = " + (pg ? "LEAST" : "MIN") +
               "(COALESCE(Packet_Number, 0) + " + (pg ? "$2::BIGINT" : "?") +
               ", 2147483647), Date_Time = " + placeholder(3, dialect) +
               " WHERE Record = " + placeholder(4, dialect);
    }
    return insertSql(statementTable(statement), dialect);
}

NameKey nameKey(Table table)
{
    switch (table) {
    case Table::Maps:
    case Table::Players:
    case Table::Teams:
    case Table::Types:
    case Table::Weapons:
        return {1, 1};
    case Table::Cvars:
        return {1, 2};
    case Table::Servers:
        return {2, 2}; // Server_IP, Server_Port
    default:
        return {};
    }
}

std::string columnName(Table table, std::size_t column)
{
    return column == 0 ? std::string("Record") : tables()[index(table)].columns[column - 1];
}

std::string createOwnTableSql(Table table, Dialect dialect)
{
    const bool pg = dialect == Dialect::Postgres;
    const std::string integer = pg ? " BIGINT" : " INTEGER";
    const std::string text = pg ? " VARCHAR(250)" : " TEXT";
    const std::string date = pg ? " TIMESTAMP" : " DATETIME";
    std::string sql =
        std::string("CREATE TABLE IF NOT EXISTS ") + tableName(table) + " (Record" + integer;
    if (table == Table::Commits) // Record: the writer's own transaction number
        return sql + ", Writer" + text + ", Date_Time" + date + ", PRIMARY KEY (Writer, Record))";
    sql += " PRIMARY KEY, ";
    if (table == Table::Kills)
        sql += "Score" + integer + ", Game" + integer + ", Headshot" + integer + ", Flags" + text +
               ", Killer_Position" + text + ", Victim_Position" + text;
    else if (table == Table::Details)
        sql += "Score" + integer + ", Game" + integer + ", Player" + integer + ", Kind" + text +
               ", Detail" + text;
    else if (table == Table::Results)
        sql += "Game" + integer + ", Kind" + text + ", Team" + text + ", Result" + text +
               ", Score" + text + ", Date_Time" + date;
    else
        sql += "Game" + integer + ", Player" + integer + ", Weapon" + integer + ", Shots" +
               integer + ", Hits" + integer + ", Kills" + integer + ", Headshots" + integer +
               ", Damage" + integer + ", Deaths" + integer;
    return sql + ")";
}

namespace {

std::string columnList(Table table, Dialect dialect)
{
    std::string names = "Record";
    for (const char *name : tables()[index(table)].columns)
        names += ", " + column(name, dialect);
    return names;
}

} // namespace

std::string insertSql(Table table, Dialect dialect)
{
    const TableColumns &columns = tables()[index(table)];
    std::string values;
    for (std::size_t c = 0; c <= columns.columns.size(); ++c)
        values += (c ? ", " : "") + placeholder(c + 1, dialect);
    return std::string("INSERT INTO ") + columns.name + " (" + columnList(table, dialect) +
           ") VALUES (" + values + ")";
}

std::string copySql(Table table)
{
    return std::string("COPY ") + tableName(table) + " (" + columnList(table, Dialect::Postgres) +
           ") FROM STDIN";
}

} // namespace ledgerwell
