#pragma once

#include "Database.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace ledgerwell {

// An SQLite file in WAL mode with synchronous=NORMAL: a commit costs no sync of the file,
// and a crash of the process loses no committed transaction.
class SqliteDatabase : public Database
{
public:
    // The file must exist: the program creates it and its schema. A wait for a lock ends
    // after a few seconds, or sooner when the time in giveUpAt (steady clock ticks, 0: none)
    // has come.
    static std::unique_ptr<SqliteDatabase>
    open(const std::string &file, std::string &error,
         const std::atomic<std::int64_t> *giveUpAt = nullptr);
    ~SqliteDatabase() override;

    std::vector<std::string> refreshTables() override;
    bool query(const std::string &sql, const std::function<void(const Row &)> &row,
               std::string &error) override;
    std::int64_t findRecord(Table table, const Value *values) override;
    std::int64_t newRecord(Table table, std::string &error) override;
    WriteReport write(RowBatch &batch, RecordNumbers &numbers) override;
    bool connected() const override { return true; }
    bool reconnect(std::string &) override { return true; }

private:
    explicit SqliteDatabase(sqlite3 *db, const std::atomic<std::int64_t> *giveUpAt);
    static int busy(void *self, int attempts);
    bool execute(const char *sql, std::string &error);
    // Prepared to be kept (null when SQLite refuses it).
    bool prepare(sqlite3_stmt *&statement, const std::string &sql);
    // Runs one of the statements every transaction runs, prepared on first use: parsing them
    // anew each time cost SQLite more than running them.
    bool run(sqlite3_stmt *&statement, const char *sql, std::string &error);
    bool lastRecord(Table table, std::int64_t &max, std::string &error);
    // Outcome of writing rows: written (or left out with a note), or the transaction must end.
    bool writeStep(RowBatch &batch, const Step &step, WriteReport &report, std::string &error);
    bool writeInserts(RowBatch &batch, WriteReport &report, std::string &error);
    bool writeChunk(RowBatch &batch, const std::uint32_t *steps, WriteReport &report,
                    std::string &error);
    sqlite3_stmt *chunkStatement(Table table);
    std::string lastError() const;
    void prepareNameLookup(Table table, std::vector<std::string> &notes);

    sqlite3 *m_db;
    const std::atomic<std::int64_t> *m_giveUpAt;
    std::chrono::steady_clock::time_point m_busySince;
    std::array<sqlite3_stmt *, StatementCount> m_statements{};
    std::array<sqlite3_stmt *, TableCount> m_findName{};
    // An insert of ChunkRows rows at once, made when first needed: one statement's start and
    // end are most of what a row costs SQLite.
    static constexpr std::size_t ChunkRows = 32;
    std::array<sqlite3_stmt *, TableCount> m_chunks{};
    std::array<sqlite3_stmt *, TableCount> m_lastRecord{};
    sqlite3_stmt *m_begin = nullptr;
    sqlite3_stmt *m_commit = nullptr;
    sqlite3_stmt *m_rollback = nullptr;
    // A transaction's inserts, by table, until an update or the end writes them.
    std::array<std::vector<std::uint32_t>, TableCount> m_pending;
    // The next Record of each table in the open write transaction, 0: not read yet. The
    // transaction holds the file's write lock, so no other process can take them.
    std::array<std::int64_t, TableCount> m_next{};
};

} // namespace ledgerwell
