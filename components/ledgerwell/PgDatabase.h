#pragma once

#include "ConnectionSettings.h"
#include "Database.h"

#include <memory>
#include <mutex>
#include <vector>

struct pg_conn;
struct pg_cancel;

namespace ledgerwell {

// A PostgreSQL database over libpq. A transaction's many rows of a table go by COPY, the
// rest in one pipeline, so a batch costs a few round trips, not one per row.
class PgDatabase : public Database
{
public:
    static std::unique_ptr<PgDatabase> open(const ConnectionSettings &settings, std::string &error);
    // Call before the first connection. libpq's first connection starts OpenSSL, which then
    // has its own clean-up run at process end, before the library's (they run in reverse
    // order): a connection still being opened then, or a commit over TLS, would use a
    // torn-down OpenSSL and crash. Started here without it, OpenSSL lasts until the process.
    static void keepCryptoUntilExit();
    ~PgDatabase() override;

    std::vector<std::string> refreshTables() override;
    bool query(const std::string &sql, const std::function<void(const Row &)> &row,
               std::string &error) override;
    std::int64_t findRecord(Table table, const Value *values) override;
    void findRecords(const std::vector<NameLookup> &names,
                     std::vector<std::int64_t> &found) override;
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
    // Sends the step's prepared statement with its values; false when the connection cannot
    // take it.
    bool send(const RowBatch &batch, const Step &step);
    // BEGIN, then the batch's rows numbered; false (with report) on failure.
    bool begin(RowBatch &batch, RecordNumbers &numbers, WriteReport &report);
    void prepareNames(Table table, std::vector<std::string> &notes);
    // The name columns of an insert's values as text parameters of its lookup.
    static void nameParameters(Table table, const Value *values, const char *(&params)[2]);
    void prepareSequence(Table table, std::vector<std::string> &notes);
    void findByteaColumns();
    using TableSteps = std::array<std::vector<const Step *>, TableCount>;
    // Big groups of inserts by COPY, then the rest of the transaction in one pipeline.
    WriteReport writePipelined(const RowBatch &batch);
    // One table's rows by COPY in the open transaction. False when the connection is lost;
    // rows the server refuses leave its error in error and state.
    bool copy(Table table, const RowBatch &batch, const std::vector<const Step *> &rows,
              std::string &error, std::string &state);
    // The inserts, the updates and COMMIT in one pipeline; false when the connection is lost.
    bool pipeline(const RowBatch &batch, const TableSteps &inserts,
                  const std::vector<const Step *> &updates, std::string &error, std::string &state);
    // Row by row with a savepoint each, so a refused row is left out alone.
    WriteReport writeRowByRow(const RowBatch &batch);
    std::string lastError() const;

    // From this many rows on, a table's rows go by COPY, which costs the server a fraction of
    // an insert per row; fewer ride in the pipeline, which costs no round trip of its own.
    static constexpr std::size_t CopyRows = 8;
    // COPY data is handed to libpq in pieces of about this size.
    static constexpr std::size_t CopyBytes = 64 * 1024;
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
    // A bit per column (bit 0: Record) of the bytea columns, for the COPY text of raw bytes;
    // without them known, nothing goes by COPY.
    std::array<std::uint32_t, TableCount> m_byteaColumns{};
    bool m_byteaKnown = false;
    std::array<bool, TableCount> m_sequenceReady{};
    std::array<bool, TableCount> m_findPrepared{};
    std::array<Block, TableCount> m_blocks{};
    // Parameter buffers, kept between statements.
    std::vector<const char *> m_params;
    std::vector<int> m_lengths, m_formats;
    std::vector<char> m_numbers;
    std::string m_copy;
};

} // namespace ledgerwell
