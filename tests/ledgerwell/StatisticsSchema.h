#pragma once

#include <QString>
#include <QStringList>

// The 17 statistics tables as the program creates them, for tests and the benchmark that
// need a prepared database. Each column is (name, slot, length); slots T1 integer, T2
// single, T3 date, T4 text with a length, T5 long binary.
struct SchemaTypes
{
    QString integer, single, date, text, binary;
    QString offsetColumn; // Scores.Offset: a reserved word on PostgreSQL, written quoted

    static SchemaTypes sqlite()
    {
        return {"INTEGER", "REAL", "DATETIME", "VARCHAR", "BLOB", "Offset"};
    }
    static SchemaTypes postgres()
    {
        return {"integer", "real", "timestamp", "varchar", "bytea", "\"offset\""};
    }
};

inline QStringList statisticsTableNames()
{
    return {"Cvars",
            "Games",
            "Games_Cvars",
            "Games_Maps",
            "Games_Players_Cvars",
            "Games_Players_Teams",
            "Logs",
            "Logs_Games",
            "Maps",
            "Players",
            "Scores",
            "Servers",
            "Servers_Cvars",
            "Servers_Games",
            "Teams",
            "Types",
            "Weapons"};
}

// "Create Table Cvars (Record INTEGER Constraint CU1 Unique, Cvar VARCHAR (50), ...)", one
// per table in the program's order; tables named in without are left out.
inline QStringList statisticsSchema(const SchemaTypes &types, const QStringList &without = {})
{
    struct Column
    {
        const char *name;
        int slot;
        int length;
    };
    struct Table
    {
        const char *name;
        QList<Column> columns;
    };
    const QList<Table> tables = {
        {"Cvars", {{"Cvar", 4, 50}, {"Val", 4, 250}, {"Date_Time", 3, 0}}},
        {"Games",
         {{"StdLog_Ver", 4, 50},
          {"Patch_Name", 4, 50},
          {"Game_Start_Date_Time", 3, 0},
          {"Game_End_Date_Time", 3, 0},
          {"Game_Flags", 1, 0}}},
        {"Games_Cvars", {{"Game", 1, 0}, {"Cvar", 1, 0}}},
        {"Games_Maps", {{"Game", 1, 0}, {"Map", 1, 0}}},
        {"Games_Players_Cvars", {{"Game", 1, 0}, {"Player", 1, 0}, {"Cvar", 1, 0}}},
        {"Games_Players_Teams", {{"Game", 1, 0}, {"Player", 1, 0}, {"Team", 1, 0}}},
        {"Logs", {{"Log_IP", 4, 50}, {"Log_Port", 1, 0}, {"Log_Data", 5, 0}, {"Log_Date", 3, 0}}},
        {"Logs_Games", {{"Log", 1, 0}, {"Game", 1, 0}}},
        {"Maps", {{"Map", 4, 128}, {"Date_Time", 3, 0}}},
        {"Players", {{"Player", 4, 50}, {"Date_Time", 3, 0}}},
        {"Scores",
         {{"Killer", 1, 0},
          {"Victim", 1, 0},
          {"Type", 1, 0},
          {"Weapon", 1, 0},
          {"Score", 1, 0},
          {"Offset", 2, 0}}},
        {"Servers",
         {{"Server_Name", 4, 128},
          {"Server_IP", 4, 16},
          {"Server_Port", 4, 6},
          {"Packet_Number", 1, 0},
          {"Date_Time", 3, 0}}},
        {"Servers_Cvars", {{"Server", 1, 0}, {"Cvar", 1, 0}}},
        {"Servers_Games", {{"Server", 1, 0}, {"Game", 1, 0}}},
        {"Teams", {{"Team", 4, 50}, {"Date_Time", 3, 0}}},
        {"Types", {{"Type", 4, 50}, {"Date_Time", 3, 0}}},
        {"Weapons", {{"Weapon", 4, 50}, {"Date_Time", 3, 0}}},
    };
    const QString slotTypes[] = {QString(),  types.integer, types.single,
                                 types.date, types.text,    types.binary};
    QStringList statements;
    for (int n = 0; n < tables.size(); ++n) {
        const Table &table = tables.at(n);
        if (without.contains(QLatin1String(table.name)))
            continue;
        QString sql = QStringLiteral("Create Table %1 (Record %2 Constraint CU%3 Unique")
                          .arg(QLatin1String(table.name), types.integer)
                          .arg(n + 1);
        for (const Column &column : table.columns) {
            const QString name = qstrcmp(column.name, "Offset") == 0 ? types.offsetColumn
                                                                     : QLatin1String(column.name);
            sql += QStringLiteral(", %1 %2").arg(name, slotTypes[column.slot]);
            if (column.slot == 4)
                sql += QStringLiteral(" (%1)").arg(column.length);
        }
        statements << sql + QLatin1Char(')');
    }
    return statements;
}
