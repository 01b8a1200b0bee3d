#include "Database.h"

#include <cstdlib>

namespace ledgerwell {

bool Database::hasAllTables() const
{
    for (bool present : m_present) {
        if (!present)
            return false;
    }
    return true;
}

bool Database::maxRecord(Table table, std::int64_t &max, std::string &error)
{
    bool read = false;
    query(
        std::string("SELECT COALESCE(MAX(Record), 0) FROM ") + tableName(table),
        [&](const Row &row) {
            max = std::atoll(std::string(row.at(0)).c_str());
            read = true;
        },
        error);
    if (!read)
        error = std::string("the last Record of ") + tableName(table) + " cannot be read: " + error;
    return read;
}

bool Database::committed(const std::string &writer, std::int64_t transaction)
{
    bool found = false;
    std::string error;
    // The writer id is hexadecimal digits of the component's own making.
    query(
        "SELECT 1 FROM Ledgerwell_Commits WHERE Writer = '" + writer +
            "' AND Record = " + std::to_string(transaction),
        [&](const Row &) { found = true; }, error);
    return found;
}

void Database::findRecords(const std::vector<NameLookup> &names, std::vector<std::int64_t> &found)
{
    found.clear();
    for (const NameLookup &name : names)
        found.push_back(findRecord(name.table, name.values));
}

std::string nameIndexSql(Table table)
{
    const NameKey key = nameKey(table);
    std::string name = tableName(table);
    for (char &c : name)
        c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    std::string sql = "CREATE UNIQUE INDEX IF NOT EXISTS ledgerwell_" + name + "_name ON " +
                      tableName(table) + " (";
    for (std::size_t c = 0; c < key.count; ++c)
        sql += (c ? ", " : "") + columnName(table, key.first + c);
    return sql + ")";
}

std::string uniqueNamesNote(Table table, const std::string &error)
{
    return std::string("The names of ") + tableName(table) + " cannot be made unique (" + error +
           "); two writers may each write a row of one name.";
}

std::string findNameSql(Table table, Dialect dialect)
{
    const NameKey key = nameKey(table);
    std::string sql = std::string("SELECT Record FROM ") + tableName(table) + " WHERE ";
    for (std::size_t c = 0; c < key.count; ++c)
        sql += (c ? " AND " : "") + columnName(table, key.first + c) + " = " +
               (dialect == Dialect::Postgres ? "$" + std::to_string(c + 1) : std::string("?"));
    return sql;
}

std::string rowNote(const RowBatch &batch, const Step &step, std::string_view error)
{
    const Value *values = batch.values(step);
    const std::int64_t record = isInsert(step.statement)
                                    ? values[0].integer
                                    : values[parameterCount(step.statement) - 1].integer;
    return std::string(isInsert(step.statement) ? "row " : "update of row ") +
           std::to_string(record) + " of " + tableName(statementTable(step.statement)) +
           " was not written: " + std::string(error);
}

} // namespace ledgerwell
