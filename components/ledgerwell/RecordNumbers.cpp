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

std::int64_t heldRecord(const std::unordered_map<std::string, std::int64_t> &held,
                        const std::string &name)
{
    const auto found = held.find(name);
    return found == held.end() ? 0 : found->second;
}

} // namespace

// The table and name columns of a name row, or empty for any other row.
std::string RecordNumbers::nameOf(RowBatch &batch, const Step &step)
{
    const Table table = statementTable(step.statement);
    const NameKey key = nameKey(table);
    if (key.count == 0)
        return {};
    std::string name(1, char('A' + index(table)));
    for (std::size_t c = 0; c < key.count; ++c) {
        name += '\0';
        name += batch.value(step.firstValue + key.first + c).bytes;
    }
    return name;
}

std::int64_t RecordNumbers::numberedName(const std::string &name) const
{
    const auto found = m_attemptNames.find(name);
    return found == m_attemptNames.end() ? 0 : found->second;
}

bool RecordNumbers::lookup(std::int64_t reference, std::int64_t &record) const
{
    if (const auto found = m_attemptKept.find(reference); found != m_attemptKept.end()) {
        record = found->second;
        return true;
    }
    if (m_attempt.find(reference, record))
        return true;
    if (const auto found = m_kept.find(reference); found != m_kept.end()) {
        record = found->second;
        return true;
    }
    return false;
}

// The Records of the batch's names that the database holds, asked for all at once.
std::unordered_map<std::string, std::int64_t> RecordNumbers::heldNames(Database &db,
                                                                       RowBatch &batch)
{
    std::unordered_map<std::string, std::int64_t> held;
    std::vector<Database::NameLookup> lookups;
    std::vector<const std::string *> names;
    for (const Step &step : batch.steps()) {
        const Table table = statementTable(step.statement);
        if (!isInsert(step.statement) || nameKey(table).count == 0 || !db.hasTable(table) ||
            batch.value(step.firstValue).kind != Value::Kind::Ref)
            continue;
        const auto [at, added] = held.emplace(nameOf(batch, step), 0);
        if (added) {
            lookups.push_back({table, &batch.value(step.firstValue)});
            names.push_back(&at->first);
        }
    }
    std::vector<std::int64_t> found;
    db.findRecords(lookups, found);
    for (std::size_t i = 0; i < names.size(); ++i)
        held[*names[i]] = found[i];
    return held;
}

bool RecordNumbers::resolve(Database &db, RowBatch &batch, std::string &error)
{
    discard(batch); // nothing to undo unless a caller left an attempt of this batch open
    const std::unordered_map<std::string, std::int64_t> held = heldNames(db, batch);
    const std::vector<Step> &steps = batch.steps();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step &step = steps[i];
        const std::size_t count = parameterCount(step.statement);
        const Table table = statementTable(step.statement);
        const Value &first = batch.value(step.firstValue);
        if (isInsert(step.statement) && first.kind == Value::Kind::Ref) {
            const std::int64_t reference = first.integer;
            const bool lasting = isLasting(table) && !step.transient;
            const auto number = [&](std::int64_t record) {
                if (lasting)
                    m_attemptKept[reference] = record;
                else
                    m_attempt.set(reference, record);
            };
            const std::string name = nameOf(batch, step);
            std::int64_t record = 0;
            if (!db.hasTable(table)) {
                record = 0; // the row is left out; what refers to it refers to nothing
            } else if (!name.empty() &&
                       ((record = numberedName(name)) || (record = heldRecord(held, name)))) {
                number(record); // made before, by this writer or another
                batch.setSkipped(i, true);
                m_skipped.push_back(i);
                continue;
            } else if (!(record = db.newRecord(table, error))) {
                return false;
            }
            number(record);
            if (!name.empty())
                m_attemptNames.emplace(name, record);
        }
        for (std::size_t c = 0; c < count; ++c) {
            Value &value = batch.value(step.firstValue + c);
            if (value.kind != Value::Kind::Ref)
                continue;
            std::int64_t record = 0;
            if (!lookup(value.integer, record) && !m_missingToNothing) {
                error = std::string("a row of ") + tableName(table) +
                        " refers to a row that was never written";
                return false;
            }
            m_undo.emplace_back(step.firstValue + c, value.integer);
            value = Value::of(record);
        }
    }
    return true;
}

void RecordNumbers::settle(RowBatch &batch) const
{
    for (const Step &step : batch.steps()) {
        for (std::size_t c = 0; c < parameterCount(step.statement); ++c) {
            Value &value = batch.value(step.firstValue + c);
            if (value.kind != Value::Kind::Ref)
                continue;
            if (const auto found = m_kept.find(value.integer); found != m_kept.end())
                value = Value::of(found->second);
        }
    }
}

void RecordNumbers::forget(const std::vector<std::int64_t> &references)
{
    for (const std::int64_t reference : references)
        m_kept.erase(reference);
}

void RecordNumbers::commit()
{
    m_kept.insert(m_attemptKept.begin(), m_attemptKept.end());
    m_attemptKept.clear();
    m_attempt.clear();
    m_attemptNames.clear();
    m_undo.clear();
    m_skipped.clear();
}

void RecordNumbers::discard(RowBatch &batch)
{
    for (const auto &[index, reference] : m_undo)
        batch.value(index) = Value{Value::Kind::Ref, reference, 0, {}};
    for (const std::size_t step : m_skipped)
        batch.setSkipped(step, false);
    m_undo.clear();
    m_skipped.clear();
    m_attemptKept.clear();
    m_attempt.clear();
    m_attemptNames.clear();
}

void RecordNumbers::Attempt::set(std::int64_t reference, std::int64_t record)
{
    if (m_records.empty() && m_others.empty())
        m_first = reference;
    // A gap this wide is no transaction's own numbering: the map keeps memory to the rows.
    constexpr std::int64_t WidestGap = 4096;
    const std::int64_t at = reference - m_first;
    if (at < 0 || at >= std::int64_t(m_records.size()) + WidestGap) {
        m_others[reference] = record;
        return;
    }
    if (at >= std::int64_t(m_records.size()))
        m_records.resize(std::size_t(at) + 1, None);
    m_records[std::size_t(at)] = record;
}

bool RecordNumbers::Attempt::find(std::int64_t reference, std::int64_t &record) const
{
    const std::int64_t at = reference - m_first;
    if (at >= 0 && at < std::int64_t(m_records.size()) && m_records[std::size_t(at)] != None) {
        record = m_records[std::size_t(at)];
        return true;
    }
    const auto found = m_others.find(reference);
    if (found == m_others.end())
        return false;
    record = found->second;
    return true;
}

void RecordNumbers::Attempt::clear()
{
    m_records.clear(); // keeps its room for the next transaction
    m_others.clear();
}

} // namespace ledgerwell
