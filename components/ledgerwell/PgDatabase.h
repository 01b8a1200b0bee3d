#pragma once

#include "ConnectionSettings.h"
#include "Database.h"

#include <memory>
#include <mutex>
#include <vector>

struct pg_conn;
struct pg_cancel;

namespace ledgerwell {

// A PostgreSQL database over libpq. A transaction's statements go out in one pipeline, so a
// batch costs a few round trips, not one per row.
class PgDatabase : public Database
{
public:
    static std::unique_ptr<PgDatabase> open(const ConnectionSettings &settings, std::string &error);
    ~PgDatabase() override;

    std::vector<std::string> refreshTables() override;
    bool query(const std::string &sql, const std::function<void(const Row &)> &row,
               std::string &error) override;
    std::int64_t findRecord(Table table, const Value *values) override;
    std::int64_t newRecord(Table table, std::string &error) override;
    WriteReport write(RowBatch &batch, RecordNumbers &numbers) override;
    bool connected() const override;
    bool reconnect(std::string &error) override;
    void interrupt() override;

private:
    explicit PgDatabase(ConnectionSettings settings);
    bool connect(std::string &error);
    void disconnect();
    bool execute(const char *sql, std::string &error);
    // Sends a prepared statement with the values of `rows` steps of the same table; false
    // when the connection cannot take it.
    bool send(const std::string &statement, const RowBatch &batch, const Step *const *steps,
              std::size_t rows);
    bool send(const RowBatch &batch, const Step &step);
    // BEGIN, then the batch's rows numbered; false (with report) on failure.
    bool begin(RowBatch &batch, RecordNumbers &numbers, WriteReport &report);
    void prepareNames(Table table, std::vector<std::string> &notes);
    void prepareSequence(Table table, std::vector<std::string> &notes);
    WriteReport writePipelined(const RowBatch &batch);
    // Row by row with a savepoint each, so a refused row is left out alone.
    WriteReport writeRowByRow(const RowBatch &batch);
    std::string lastError() const;

    // Inserts of many rows in one statement cost the server far less per row.
    static constexpr std::size_t ChunkRows[] = {128, 16};
    static constexpr std::size_t ChunkCount = 2;
    // Records come from a sequence per table in blocks, one round trip per block.
    static constexpr std::int64_t RecordBlock = 1000;
    static constexpr int ConflictAttempts = 5;

    struct Block
    {
        std::int64_t next = 0, end = 0;
    };

    ConnectionSettings m_settings;
    pg_conn *m_conn = nullptr;
    // What cancels the connection's running statement, from any thread.
    std::mutex m_cancelMutex;
    pg_cancel *m_cancel = nullptr;
    std::array<bool, StatementCount> m_prepared{};
    std::array<std::array<bool, ChunkCount>, TableCount> m_preparedChunks{};
    std::array<bool, TableCount> m_sequenceReady{};
    std::array<bool, TableCount> m_findPrepared{};
    std::array<Block, TableCount> m_blocks{};
    // Parameter buffers, kept between statements.
    std::vector<const char *> m_params;
    std::vector<int> m_lengths, m_formats;
    std::vector<char> m_numbers;
};

} // namespace ledgerwell
