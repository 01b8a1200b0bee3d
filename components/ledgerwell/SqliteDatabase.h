#pragma once

#include "Database.h"

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace ledgerwell {

// An SQLite file in WAL mode with synchronous=NORMAL: a commit costs no sync of the file,
// and a crash of the process loses no committed transaction.
class SqliteDatabase : public Database
{
public:
    // The file must exist: the program creates it and its schema.
    static std::unique_ptr<SqliteDatabase> open(const std::string &file, std::string &error);
    ~SqliteDatabase() override;

    std::vector<std::string> refreshTables() override;
    std::int64_t maxRecord(Table table) override;
    bool query(const std::string &sql, const std::function<void(const Row &)> &row,
               std::string &error) override;
    bool recordExists(Table table, std::int64_t record) override;
    WriteReport write(const RowBatch &batch) override;
    bool connected() const override { return true; }
    bool reconnect(std::string &) override { return true; }

private:
    explicit SqliteDatabase(sqlite3 *db);
    bool execute(const char *sql, std::string &error);
    std::string lastError() const;

    sqlite3 *m_db;
    std::array<sqlite3_stmt *, StatementCount> m_statements{};
};

} // namespace ledgerwell
