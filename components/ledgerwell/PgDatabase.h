#pragma once

#include "ConnectionSettings.h"
#include "Database.h"

#include <memory>
#include <vector>

struct pg_conn;

namespace ledgerwell {

// A PostgreSQL database over libpq. A transaction's statements go out in one pipeline, so a
// batch costs a few round trips, not one per row.
class PgDatabase : public Database
{
public:
    static std::unique_ptr<PgDatabase> open(const ConnectionSettings &settings, std::string &error);
    ~PgDatabase() override;

    std::vector<std::string> refreshTables() override;
    std::int64_t maxRecord(Table table) override;
    bool query(const std::string &sql, const std::function<void(const Row &)> &row,
               std::string &error) override;
    bool recordExists(Table table, std::int64_t record) override;
    WriteReport write(const RowBatch &batch) override;
    bool connected() const override;
    bool reconnect(std::string &error) override;

private:
    explicit PgDatabase(ConnectionSettings settings);
    bool connect(std::string &error);
    bool execute(const char *sql, std::string &error);
    // Sends a prepared statement with the values of `rows` steps of the same table; false
    // when the connection cannot take it.
    bool send(const std::string &statement, const RowBatch &batch, const Step *const *steps,
              std::size_t rows);
    bool send(const RowBatch &batch, const Step &step);
    WriteReport writePipelined(const RowBatch &batch);
    // Row by row with a savepoint each, so a refused row is left out alone.
    WriteReport writeRowByRow(const RowBatch &batch);
    std::string lastError() const;

    // Inserts of many rows in one statement cost the server far less per row.
    static constexpr std::size_t ChunkRows[] = {128, 16};
    static constexpr std::size_t ChunkCount = 2;

    ConnectionSettings m_settings;
    pg_conn *m_conn = nullptr;
    std::array<bool, StatementCount> m_prepared{};
    std::array<std::array<bool, ChunkCount>, TableCount> m_preparedChunks{};
    // Parameter buffers, kept between statements.
    std::vector<const char *> m_params;
    std::vector<int> m_lengths, m_formats;
    std::vector<char> m_numbers;
};

} // namespace ledgerwell
