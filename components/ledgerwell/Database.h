#pragma once

#include "RecordNumbers.h"
#include "RowBatch.h"
#include "Tables.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ledgerwell {

struct WriteReport
{
    enum class Outcome {
        Written,        // committed; rows of missing tables and refused rows were left out
        Retry,          // nothing committed (busy, locked, disk full ...): write again later
        ConnectionLost, // nothing committed: reopen, then write again
    };
    Outcome outcome = Outcome::Written;
    bool conflict = false; // another writer took a name at the same moment: write again now
    std::string error;
    std::uint64_t inserted = 0;
    std::uint64_t updated = 0;
    std::uint64_t dropped = 0;
    std::vector<std::string> notes; // rows left out and why
};

// One open database with the component's statements prepared.
class Database
{
public:
    using Row = std::vector<std::string_view>; // NULL reads as empty

    virtual ~Database() = default;

    // Finds which statistics tables exist with the columns the component writes; rows for
    // the others are left out. Returns notes about tables that are missing or unusable.
    virtual std::vector<std::string> refreshTables() = 0;
    bool hasTable(Table table) const { return m_present[index(table)]; }
    bool hasAllTables() const;

    // The highest Record of the table (0 when it is empty); false when it cannot be read.
    bool maxRecord(Table table, std::int64_t &max, std::string &error);
    // Runs a fixed SELECT and hands over every row as text.
    virtual bool query(const std::string &sql, const std::function<void(const Row &)> &row,
                       std::string &error) = 0;
    // Whether the transaction that held this commit row went through.
    bool committed(const std::string &writer, std::int64_t transaction);

    // Inside a write transaction: the Record of the row that holds the same name as the
    // insert's values (see nameKey), or 0.
    virtual std::int64_t findRecord(Table table, const Value *values) = 0;
    // findRecord for several name rows at once: found[i] for names[i]. PostgreSQL asks for
    // them all in one round trip, which a chat line, a name row each, would otherwise cost.
    struct NameLookup
    {
        Table table;
        const Value *values;
    };
    virtual void findRecords(const std::vector<NameLookup> &names,
                             std::vector<std::int64_t> &found);
    // Inside a write transaction: a Record no other writer can take; 0 (with error) when
    // none can be had.
    virtual std::int64_t newRecord(Table table, std::string &error) = 0;

    // One transaction with every row of the batch, numbered by numbers inside it (in place).
    virtual WriteReport write(RowBatch &batch, RecordNumbers &numbers) = 0;

    virtual bool connected() const = 0;
    virtual bool reconnect(std::string &error) = 0;
    // From another thread, when a stop's deadline has come: the statement that waits now
    // (for another session's lock, say) is given up.
    virtual void interrupt() {}

protected:
    std::array<bool, TableCount> m_present{};
};

// Ledgerwell's own tables, made when missing.
inline constexpr Table OwnTables[] = {Table::Kills, Table::Results, Table::WeaponStats,
                                      Table::Commits, Table::Details};
// CREATE UNIQUE INDEX for a name table: a race between two writers ends with one row.
std::string nameIndexSql(Table table);
std::string uniqueNamesNote(Table table, const std::string &error);
// SELECT Record of the row with the name columns given as parameters.
std::string findNameSql(Table table, Dialect dialect);

// A short note for a row left out.
std::string rowNote(const RowBatch &batch, const Step &step, std::string_view error);

} // namespace ledgerwell
