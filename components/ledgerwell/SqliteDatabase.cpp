#include "SqliteDatabase.h"

#include "TextRules.h"

#include <sqlite3.h>

#include <cstdlib>
#include <set>
#include <sys/stat.h>
#include <thread>

namespace ledgerwell {

namespace {

constexpr std::chrono::milliseconds BusyTimeout{5000};
constexpr std::chrono::milliseconds BusyPoll{5};

// Errors of the row itself; the transaction goes on without it.
bool isRowError(int code)
{
    const int primary = code & 0xFF;
    return primary == SQLITE_CONSTRAINT || primary == SQLITE_MISMATCH || primary == SQLITE_TOOBIG ||
           primary == SQLITE_RANGE;
}

void bind(sqlite3_stmt *statement, int column, const Value &value)
{
    switch (value.kind) {
    case Value::Kind::Integer:
        sqlite3_bind_int64(statement, column, value.integer);
        break;
    case Value::Kind::Real:
        sqlite3_bind_double(statement, column, value.real);
        break;
    case Value::Kind::Text:
        sqlite3_bind_text(statement, column, value.bytes.data(), int(value.bytes.size()),
                          SQLITE_STATIC);
        break;
    case Value::Kind::Blob:
        sqlite3_bind_blob(statement, column, value.bytes.data(), int(value.bytes.size()),
                          SQLITE_STATIC);
        break;
    default: // Null; a reference is always resolved before binding
        sqlite3_bind_null(statement, column);
        break;
    }
}

std::string lowered(std::string text)
{
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return text;
}

} // namespace

std::unique_ptr<SqliteDatabase> SqliteDatabase::open(const std::string &file, std::string &error,
                                                     const std::atomic<std::int64_t> *giveUpAt)
{
    struct stat info = {};
    if (::stat(file.c_str(), &info) != 0) {
        error = "The database file " + file +
                " does not exist; the program never creates one (Tools, Add can make an empty one "
                "in its database dialog).";
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "The database file " + file + " is not a file.";
        return nullptr;
    }
    sqlite3 *db = nullptr;
    const int rc =
        sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        error = "The database file " + file +
                " cannot be opened: " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<SqliteDatabase> database(new SqliteDatabase(db, giveUpAt));
    if (sqlite3_db_readonly(db, "main") == 1) {
        error = "The database file " + file + " is read-only; Ledgerwell cannot write to it.";
        return nullptr;
    }
    sqlite3_busy_handler(db, &SqliteDatabase::busy, database.get());
    sqlite3_extended_result_codes(db, 1);
    std::string reason;
    if (!database->execute("PRAGMA journal_mode=WAL", reason) ||
        !database->execute("PRAGMA synchronous=NORMAL", reason)) {
        error = "The database file " + file + " cannot be used: " + reason;
        return nullptr;
    }
    return database;
}

SqliteDatabase::SqliteDatabase(sqlite3 *db, const std::atomic<std::int64_t> *giveUpAt)
    : m_db(db)
    , m_giveUpAt(giveUpAt)
{
}

// Waits for another connection's lock like a busy timeout, but a stop can cut it short.
int SqliteDatabase::busy(void *self, int attempts)
{
    auto *database = static_cast<SqliteDatabase *>(self);
    const auto now = std::chrono::steady_clock::now();
    if (attempts == 0)
        database->m_busySince = now;
    if (now - database->m_busySince >= BusyTimeout)
        return 0;
    const std::int64_t giveUpAt = database->m_giveUpAt ? database->m_giveUpAt->load() : 0;
    if (giveUpAt != 0 && now.time_since_epoch().count() >= giveUpAt)
        return 0;
    std::this_thread::sleep_for(BusyPoll);
    return 1;
}

SqliteDatabase::~SqliteDatabase()
{
    for (sqlite3_stmt *statement : m_statements)
        sqlite3_finalize(statement);
    for (sqlite3_stmt *statement : m_findName)
        sqlite3_finalize(statement);
    for (sqlite3_stmt *statement : m_chunks)
        sqlite3_finalize(statement);
    for (sqlite3_stmt *statement : m_lastRecord)
        sqlite3_finalize(statement);
    for (sqlite3_stmt *statement : {m_begin, m_commit, m_rollback})
        sqlite3_finalize(statement);
    sqlite3_close(m_db);
}

std::string SqliteDatabase::lastError() const
{
    return sqlite3_errmsg(m_db);
}

bool SqliteDatabase::execute(const char *sql, std::string &error)
{
    char *message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    error = message ? message : lastError();
    sqlite3_free(message);
    return false;
}

bool SqliteDatabase::prepare(sqlite3_stmt *&statement, const std::string &sql)
{
    if (sqlite3_prepare_v3(m_db, sql.c_str(), int(sql.size()) + 1, SQLITE_PREPARE_PERSISTENT,
                           &statement, nullptr) != SQLITE_OK)
        statement = nullptr;
    return statement != nullptr;
}

bool SqliteDatabase::run(sqlite3_stmt *&statement, const char *sql, std::string &error)
{
    if (!statement && !prepare(statement, sql)) {
        error = lastError();
        return false;
    }
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_DONE)
        error = lastError();
    sqlite3_reset(statement);
    return rc == SQLITE_DONE;
}

bool SqliteDatabase::lastRecord(Table table, std::int64_t &max, std::string &error)
{
    sqlite3_stmt *&statement = m_lastRecord[index(table)];
    if (!statement)
        prepare(statement, "SELECT COALESCE(MAX(Record), 0) FROM " + std::string(tableName(table)));
    const int rc = statement ? sqlite3_step(statement) : SQLITE_ERROR;
    if (rc == SQLITE_ROW)
        max = sqlite3_column_int64(statement, 0);
    else
        error = std::string("the last Record of ") + tableName(table) +
                " cannot be read: " + lastError();
    if (statement)
        sqlite3_reset(statement);
    return rc == SQLITE_ROW;
}

std::vector<std::string> SqliteDatabase::refreshTables()
{
    std::vector<std::string> notes;
    std::set<std::string> existing;
    std::string error;
    for (const Table own : OwnTables) {
        if (!execute(createOwnTableSql(own, Dialect::Sqlite).c_str(), error))
            notes.push_back(std::string("The table ") + tableName(own) +
                            " cannot be created: " + error);
    }
    if (!query(
            "SELECT name FROM sqlite_master WHERE type = 'table'",
            [&](const Row &row) { existing.insert(lowered(std::string(row.at(0)))); }, error)) {
        notes.push_back("The list of tables cannot be read: " + error);
        return notes;
    }
    for (std::size_t s = 0; s < StatementCount; ++s) {
        const auto statement = static_cast<Statement>(s);
        const Table table = statementTable(statement);
        if (m_statements[s] || !existing.count(lowered(tableName(table))))
            continue;
        const std::string sql = statementSql(statement, Dialect::Sqlite);
        if (!prepare(m_statements[s], sql))
            notes.push_back(std::string("The table ") + tableName(table) +
                            " does not have the columns Ledgerwell writes: " + lastError());
    }
    for (std::size_t t = 0; t < TableCount; ++t) {
        const auto table = static_cast<Table>(t);
        bool ready = m_statements[index(insertInto(table))] != nullptr;
        if (table == Table::Servers)
            ready = ready && m_statements[index(Statement::UpdateServer)];
        if (table == Table::Games)
            ready = ready && m_statements[index(Statement::UpdateGameEnd)];
        if (!ready && !existing.count(lowered(tableName(table))))
            notes.push_back(std::string("The table ") + tableName(table) +
                            " is missing; its rows are not written.");
        m_present[t] = ready;
        if (ready && nameKey(table).count > 0 && !m_findName[t])
            prepareNameLookup(table, notes);
    }
    return notes;
}

void SqliteDatabase::prepareNameLookup(Table table, std::vector<std::string> &notes)
{
    std::string error;
    if (!execute(nameIndexSql(table).c_str(), error))
        notes.push_back(uniqueNamesNote(table, error));
    prepare(m_findName[index(table)], findNameSql(table, Dialect::Sqlite));
}

bool SqliteDatabase::query(const std::string &sql, const std::function<void(const Row &)> &row,
                           std::string &error)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), int(sql.size()) + 1, &statement, nullptr) !=
        SQLITE_OK) {
        error = lastError();
        return false;
    }
    Row values;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        const int columns = sqlite3_column_count(statement);
        values.clear();
        for (int c = 0; c < columns; ++c) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, c));
            values.emplace_back(text ? text : "", text ? sqlite3_column_bytes(statement, c) : 0);
        }
        row(values);
    }
    if (rc != SQLITE_DONE)
        error = lastError();
    sqlite3_finalize(statement);
    return rc == SQLITE_DONE;
}

std::int64_t SqliteDatabase::findRecord(Table table, const Value *values)
{
    sqlite3_stmt *statement = m_findName[index(table)];
    if (!statement)
        return 0;
    const NameKey key = nameKey(table);
    sqlite3_reset(statement);
    for (std::size_t c = 0; c < key.count; ++c)
        bind(statement, int(c) + 1, values[key.first + c]);
    const std::int64_t record =
        sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : 0;
    sqlite3_reset(statement);
    return record;
}

std::int64_t SqliteDatabase::newRecord(Table table, std::string &error)
{
    std::int64_t &next = m_next[index(table)];
    if (next == 0) {
        std::int64_t max = 0;
        if (!lastRecord(table, max, error))
            return 0;
        next = max + 1;
    }
    return next++;
}

sqlite3_stmt *SqliteDatabase::chunkStatement(Table table)
{
    sqlite3_stmt *&statement = m_chunks[index(table)];
    if (!statement) {
        std::string sql = insertSql(table, Dialect::Sqlite);
        const std::string row = sql.substr(sql.rfind(" VALUES ") + 8);
        for (std::size_t r = 1; r < ChunkRows; ++r)
            sql += ", " + row;
        prepare(statement, sql);
    }
    return statement;
}

// A row the database refuses is left out with a note. False: the transaction must end.
bool SqliteDatabase::writeStep(RowBatch &batch, const Step &step, WriteReport &report,
                               std::string &error)
{
    sqlite3_stmt *statement = m_statements[index(step.statement)];
    const Value *values = batch.values(step);
    const int count = int(parameterCount(step.statement));
    sqlite3_reset(statement);
    for (int i = 0; i < count; ++i)
        bind(statement, i + 1, values[i]);
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) {
        ++(isInsert(step.statement) ? report.inserted : report.updated);
        return true;
    }
    error = lastError();
    sqlite3_reset(statement);
    if (!isRowError(rc))
        return false;
    ++report.dropped;
    report.notes.push_back(rowNote(batch, step, error));
    return true;
}

bool SqliteDatabase::writeChunk(RowBatch &batch, const std::uint32_t *steps, WriteReport &report,
                                std::string &error)
{
    const std::vector<Step> &all = batch.steps();
    const Statement insert = all[steps[0]].statement;
    if (sqlite3_stmt *statement = chunkStatement(statementTable(insert))) {
        const int count = int(parameterCount(insert));
        sqlite3_reset(statement);
        for (std::size_t r = 0; r < ChunkRows; ++r) {
            const Value *values = batch.values(all[steps[r]]);
            for (int i = 0; i < count; ++i)
                bind(statement, int(r) * count + i + 1, values[i]);
        }
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_DONE) {
            report.inserted += ChunkRows;
            return true;
        }
        error = lastError();
        sqlite3_reset(statement);
        if (!isRowError(rc))
            return false;
        // A refused row takes the statement's other rows back with it: one at a time, only
        // the refused one is left out.
    }
    for (std::size_t r = 0; r < ChunkRows; ++r) {
        if (!writeStep(batch, all[steps[r]], report, error))
            return false;
    }
    return true;
}

bool SqliteDatabase::writeInserts(RowBatch &batch, WriteReport &report, std::string &error)
{
    for (std::vector<std::uint32_t> &pending : m_pending) {
        std::size_t done = 0;
        for (; pending.size() - done >= ChunkRows; done += ChunkRows) {
            if (!writeChunk(batch, pending.data() + done, report, error))
                return false;
        }
        for (; done < pending.size(); ++done) {
            if (!writeStep(batch, batch.steps()[pending[done]], report, error))
                return false;
        }
        pending.clear();
    }
    return true;
}

WriteReport SqliteDatabase::write(RowBatch &batch, RecordNumbers &numbers)
{
    WriteReport report;
    std::string error;
    if (!run(m_begin, "BEGIN IMMEDIATE", error)) {
        report.outcome = WriteReport::Outcome::Retry;
        report.error = error;
        return report;
    }
    const auto retry = [&](const std::string &why) {
        std::string ignored;
        run(m_rollback, "ROLLBACK", ignored);
        numbers.discard(batch);
        report = WriteReport();
        report.outcome = WriteReport::Outcome::Retry;
        report.error = why;
        return report;
    };
    m_next.fill(0);
    if (!numbers.resolve(*this, batch, error))
        return retry(error);
    for (std::vector<std::uint32_t> &pending : m_pending)
        pending.clear();
    // Inserts wait to be written a table at a time, many rows to a statement; an update may
    // be of a row inserted before it, so those waiting are written first.
    const std::vector<Step> &steps = batch.steps();
    for (std::uint32_t i = 0; i < steps.size(); ++i) {
        const Step &step = steps[i];
        if (step.skipped)
            continue;
        if (!m_statements[index(step.statement)] || !hasTable(statementTable(step.statement))) {
            ++report.dropped;
            continue;
        }
        if (isInsert(step.statement))
            m_pending[index(statementTable(step.statement))].push_back(i);
        else if (!writeInserts(batch, report, error) || !writeStep(batch, step, report, error))
            return retry(error);
    }
    if (!writeInserts(batch, report, error) || !run(m_commit, "COMMIT", error))
        return retry(error);
    numbers.commit();
    return report;
}

} // namespace ledgerwell
