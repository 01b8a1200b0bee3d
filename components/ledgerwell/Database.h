#pragma once

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

    virtual std::int64_t maxRecord(Table table) = 0;
    // Runs a fixed SELECT and hands over every row as text.
    virtual bool query(const std::string &sql, const std::function<void(const Row &)> &row,
                       std::string &error) = 0;
    virtual bool recordExists(Table table, std::int64_t record) = 0;

    // One transaction with every row of the batch.
    virtual WriteReport write(const RowBatch &batch) = 0;

    virtual bool connected() const = 0;
    virtual bool reconnect(std::string &error) = 0;

protected:
    std::array<bool, TableCount> m_present{};
};

// A short note for a row left out.
std::string rowNote(const RowBatch &batch, const Step &step, std::string_view error);

} // namespace ledgerwell
