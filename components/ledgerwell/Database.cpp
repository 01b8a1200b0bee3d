#include "Database.h"

namespace ledgerwell {

bool Database::hasAllTables() const
{
    for (bool present : m_present) {
        if (!present)
            return false;
    }
    return true;
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
