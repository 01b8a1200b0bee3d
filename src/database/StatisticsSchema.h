#pragma once

#include "platform/DbConnection.h"

#include <QStringList>

// The provider's names for the five column kinds of the statistics tables.
struct TypeSlots
{
    QString integer;    // T1
    QString single;     // T2
    QString date;       // T3: the date type, or the timestamp type when there is none
    QString text;       // T4, written with a length
    QString longBinary; // T5
};

constexpr int StatisticsTableCount = 17;

// Cvars, Games, ... Weapons: the tables in the order they are created.
QStringList statisticsTableNames();

// "Create Table Cvars (Record I Constraint CU1 Unique, Cvar C (50), ...)" for the tables
// 1 to 17, the type names inserted as given.
QStringList createTableStatements(const TypeSlots &types);

// The type names from a provider types record set: for each kind the TYPE_NAME of the last
// row whose DATA_TYPE, BEST_MATCH and IS_LONG are the wanted ones, "" when none is. A row
// without one of those fields is a failure.
Result<TypeSlots> typeSlotsFrom(const QList<DbRecord> &providerTypes);
