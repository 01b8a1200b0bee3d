#include "RecordNumbers.h"

#include "Database.h"

#include <vector>

namespace ledgerwell {

namespace {

// Rows that later transactions may refer to.
bool isLasting(Table table)
{
    return nameKey(table).count > 0 || table == Table::Games;
}

} // namespace

bool RecordNumbers::lookup(std::int64_t reference, std::int64_t &record) const
{
    if (const auto found = m_attemptKept.find(reference); found != m_attemptKept.end()) {
        record = found->second;
        return true;
    }
    if (const auto found = m_attempt.find(reference); found != m_attempt.end()) {
        record = found->second;
        return true;
    }
    if (const auto found = m_kept.find(reference); found != m_kept.end()) {
        record = found->second;
        return true;
    }
    return false;
}

bool RecordNumbers::resolve(Database &db, const RowBatch &batch, RowBatch &resolved,
                            std::string &error)
{
    discard();
    resolved.clear();
    std::vector<Value> values;
    for (const Step &step : batch.steps()) {
        const Value *original = batch.values(step);
        const std::size_t count = parameterCount(step.statement);
        const Table table = statementTable(step.statement);
        if (isInsert(step.statement) && original[0].kind == Value::Kind::Ref) {
            const std::int64_t reference = original[0].integer;
            std::int64_t record = 0;
            if (!db.hasTable(table)) {
                record = 0; // the row is left out; what refers to it refers to nothing
            } else if (nameKey(table).count > 0 && (record = db.findRecord(table, original))) {
                (isLasting(table) ? m_attemptKept : m_attempt)[reference] = record;
                continue; // another writer, or an earlier run, made this name's row
            } else if (!(record = db.newRecord(table, error))) {
                return false;
            }
            (isLasting(table) ? m_attemptKept : m_attempt)[reference] = record;
        }
        values.assign(original, original + count);
        for (Value &value : values) {
            if (value.kind != Value::Kind::Ref)
                continue;
            std::int64_t record = 0;
            if (!lookup(value.integer, record)) {
                error = std::string("a row of ") + tableName(table) +
                        " refers to a row that was never written";
                return false;
            }
            value = Value::of(record);
        }
        resolved.addRow(step.statement, values.data(), count);
    }
    return true;
}

void RecordNumbers::commit()
{
    m_kept.insert(m_attemptKept.begin(), m_attemptKept.end());
    m_attemptKept.clear();
    m_attempt.clear();
}

void RecordNumbers::discard()
{
    m_attemptKept.clear();
    m_attempt.clear();
}

} // namespace ledgerwell
