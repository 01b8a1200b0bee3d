#include "StatisticsSchema.h"

namespace {

enum Slot { T1, T2, T3, T4, T5 };

struct Column
{
    const char *name;
    Slot slot;
    int length = 0; // text columns only
};

struct Table
{
    const char *name;
    QList<Column> columns; // after Record
};

QList<Table> statisticsTables()
{
    return {
        {"Cvars", {{"Cvar", T4, 50}, {"Val", T4, 250}, {"Date_Time", T3}}},
        {"Games",
         {{"StdLog_Ver", T4, 50},
          {"Patch_Name", T4, 50},
          {"Game_Start_Date_Time", T3},
          {"Game_End_Date_Time", T3},
          {"Game_Flags", T1}}},
        {"Games_Cvars", {{"Game", T1}, {"Cvar", T1}}},
        {"Games_Maps", {{"Game", T1}, {"Map", T1}}},
        {"Games_Players_Cvars", {{"Game", T1}, {"Player", T1}, {"Cvar", T1}}},
        {"Games_Players_Teams", {{"Game", T1}, {"Player", T1}, {"Team", T1}}},
        {"Logs", {{"Log_IP", T4, 50}, {"Log_Port", T1}, {"Log_Data", T5}, {"Log_Date", T3}}},
        {"Logs_Games", {{"Log", T1}, {"Game", T1}}},
        {"Maps", {{"Map", T4, 128}, {"Date_Time", T3}}},
        {"Players", {{"Player", T4, 50}, {"Date_Time", T3}}},
        {"Scores",
         {{"Killer", T1},
          {"Victim", T1},
          {"Type", T1},
          {"Weapon", T1},
          {"Score", T1},
          {"Offset", T2}}},
        {"Servers",
         {{"Server_Name", T4, 128},
          {"Server_IP", T4, 16},
          {"Server_Port", T4, 6},
          {"Packet_Number", T1},
          {"Date_Time", T3}}},
        {"Servers_Cvars", {{"Server", T1}, {"Cvar", T1}}},
        {"Servers_Games", {{"Server", T1}, {"Game", T1}}},
        {"Teams", {{"Team", T4, 50}, {"Date_Time", T3}}},
        {"Types", {{"Type", T4, 50}, {"Date_Time", T3}}},
        {"Weapons", {{"Weapon", T4, 50}, {"Date_Time", T3}}},
    };
}

QString typeName(const TypeSlots &types, Slot slot)
{
    switch (slot) {
    case T1:
        return types.integer;
    case T2:
        return types.single;
    case T3:
        return types.date;
    case T4:
        return types.text;
    case T5:
        return types.longBinary;
    }
    return QString();
}

// The kinds of provider type looked for, in the order of the search.
struct WantedType
{
    int dataType;
    bool bestMatch;
    bool isLong;
};
constexpr WantedType Wanted[] = {
    {3, true, false},   // adInteger
    {4, true, false},   // adSingle
    {7, true, false},   // adDate
    {135, true, false}, // adDBTimeStamp, used only when there is no adDate
    {129, true, false}, // adChar
    {128, false, true}, // adBinary, long
};

} // namespace

QStringList statisticsTableNames()
{
    QStringList names;
    for (const Table &table : statisticsTables())
        names.append(QString::fromLatin1(table.name));
    return names;
}

QStringList createTableStatements(const TypeSlots &types)
{
    QStringList statements;
    int n = 0;
    for (const Table &table : statisticsTables()) {
        ++n;
        QString sql = QStringLiteral("Create Table ") + QLatin1String(table.name) +
                      QStringLiteral(" (Record ") + types.integer +
                      QStringLiteral(" Constraint CU") + QString::number(n) +
                      QStringLiteral(" Unique");
        for (const Column &column : table.columns) {
            sql += QStringLiteral(", ") + QLatin1String(column.name) + QLatin1Char(' ') +
                   typeName(types, column.slot);
            if (column.slot == T4)
                sql += QStringLiteral(" (") + QString::number(column.length) + QLatin1Char(')');
        }
        statements.append(sql + QLatin1Char(')'));
    }
    return statements;
}

Result<TypeSlots> typeSlotsFrom(const QList<DbRecord> &providerTypes)
{
    QString names[std::size(Wanted)];
    for (const DbRecord &row : providerTypes) {
        const Result<QVariant> dataType = row.field(QStringLiteral("DATA_TYPE"));
        const Result<QVariant> bestMatch = row.field(QStringLiteral("BEST_MATCH"));
        const Result<QVariant> isLong = row.field(QStringLiteral("IS_LONG"));
        for (const Result<QVariant> *field : {&dataType, &bestMatch, &isLong}) {
            if (!*field)
                return field->error();
        }
        // A value that is not there matches nothing.
        if (dataType->isNull() || bestMatch->isNull() || isLong->isNull())
            continue;
        for (size_t i = 0; i < std::size(Wanted); ++i) {
            if (dataType->toInt() != Wanted[i].dataType ||
                bestMatch->toBool() != Wanted[i].bestMatch || isLong->toBool() != Wanted[i].isLong)
                continue;
            const Result<QVariant> name = row.field(QStringLiteral("TYPE_NAME"));
            if (!name)
                return name.error();
            names[i] = name->toString(); // a later row replaces an earlier one
        }
    }
    // Without a date type the timestamp type takes its place.
    const QString date = names[2].isEmpty() ? names[3] : names[2];
    return TypeSlots{names[0], names[1], date, names[4], names[5]};
}
