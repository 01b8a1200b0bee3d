#include "PgDatabase.h"

#include "TextRules.h"

#include <libpq-fe.h>

#include <arpa/inet.h>
#include <charconv>
#include <cstdlib>
#include <set>

namespace ledgerwell {

namespace {

constexpr std::size_t SegmentStatements = 200; // statements between two pipeline syncs
constexpr std::size_t MaxNotesPerBatch = 20;
constexpr std::size_t NumberBytes = 32;

std::string statementName(std::size_t statement)
{
    return "ledgerwell_" + std::to_string(statement);
}

std::string chunkName(std::size_t table, std::size_t rows)
{
    return "ledgerwell_" + std::to_string(table) + "_x" + std::to_string(rows);
}

std::string trimmedMessage(const char *message)
{
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

bool isNumericAddress(const std::string &host)
{
    unsigned char buffer[16];
    return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// Connection problems and transient refusals: the whole transaction is tried again later.
bool isTransient(const std::string &sqlState)
{
    return sqlState.rfind("08", 0) == 0 || sqlState.rfind("53", 0) == 0 ||
           sqlState.rfind("57", 0) == 0 || sqlState.rfind("40", 0) == 0 || sqlState == "55P03";
}

std::string sequenceName(Table table)
{
    std::string name = std::string("ledgerwell_") + tableName(table) + "_record";
    for (char &c : name)
        c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    return name;
}

void ignoreNotice(void *, const char *) {}

void addNote(WriteReport &report, std::string note)
{
    if (report.notes.size() < MaxNotesPerBatch)
        report.notes.push_back(std::move(note));
    else if (report.notes.size() == MaxNotesPerBatch)
        report.notes.push_back("further rows of this transaction were not written either");
}

} // namespace

std::unique_ptr<PgDatabase> PgDatabase::open(const ConnectionSettings &settings, std::string &error)
{
    std::unique_ptr<PgDatabase> database(new PgDatabase(settings));
    if (!database->connect(error))
        return nullptr;
    return database;
}

PgDatabase::PgDatabase(ConnectionSettings settings)
    : m_settings(std::move(settings))
{
}

PgDatabase::~PgDatabase()
{
    disconnect();
}

void PgDatabase::disconnect()
{
    {
        std::lock_guard lock(m_cancelMutex);
        if (m_cancel)
            PQfreeCancel(m_cancel);
        m_cancel = nullptr;
    }
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
}

void PgDatabase::interrupt()
{
    std::lock_guard lock(m_cancelMutex);
    char error[256];
    if (m_cancel)
        PQcancel(m_cancel, error, sizeof error);
}

bool PgDatabase::connect(std::string &error)
{
    disconnect();
    m_prepared.fill(false);
    for (auto &chunks : m_preparedChunks)
        chunks.fill(false);
    m_findPrepared.fill(false); // prepared statements end with their connection
    m_present.fill(false);
    const std::string port = std::to_string(m_settings.port);
    const bool numeric = isNumericAddress(m_settings.host);
    std::vector<const char *> keys = {numeric ? "hostaddr" : "host",
                                      "port",
                                      "dbname",
                                      "connect_timeout",
                                      "application_name",
                                      "client_encoding"};
    std::vector<const char *> values = {m_settings.host.c_str(),
                                        port.c_str(),
                                        m_settings.database.c_str(),
                                        "5",
                                        "Ledgerwell",
                                        "UTF8"};
    if (!m_settings.user.empty()) {
        keys.push_back("user");
        values.push_back(m_settings.user.c_str());
    }
    if (!m_settings.password.empty()) {
        keys.push_back("password");
        values.push_back(m_settings.password.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    m_conn = PQconnectdbParams(keys.data(), values.data(), 0);
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        error = "The PostgreSQL database " + m_settings.database + " on " + m_settings.host + ":" +
                port + " cannot be opened: " +
                (m_conn ? trimmedMessage(PQerrorMessage(m_conn)) : std::string("out of memory"));
        if (m_conn)
            PQfinish(m_conn);
        m_conn = nullptr;
        return false;
    }
    PQsetNoticeProcessor(m_conn, ignoreNotice, nullptr);
    std::lock_guard lock(m_cancelMutex);
    m_cancel = PQgetCancel(m_conn);
    return true;
}

bool PgDatabase::connected() const
{
    return m_conn && PQstatus(m_conn) == CONNECTION_OK;
}

bool PgDatabase::reconnect(std::string &error)
{
    return connect(error);
}

std::string PgDatabase::lastError() const
{
    return m_conn ? trimmedMessage(PQerrorMessage(m_conn)) : std::string("not connected");
}

bool PgDatabase::execute(const char *sql, std::string &error)
{
    PGresult *result = PQexec(m_conn, sql);
    const bool ok = result && PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!ok)
        error = result ? trimmedMessage(PQresultErrorMessage(result)) : lastError();
    PQclear(result);
    return ok;
}

bool PgDatabase::query(const std::string &sql, const std::function<void(const Row &)> &row,
                       std::string &error)
{
    if (!connected()) {
        error = lastError();
        return false;
    }
    PGresult *result = PQexec(m_conn, sql.c_str());
    if (!result || PQresultStatus(result) != PGRES_TUPLES_OK) {
        error = result ? trimmedMessage(PQresultErrorMessage(result)) : lastError();
        PQclear(result);
        return false;
    }
    const int rows = PQntuples(result);
    const int columns = PQnfields(result);
    Row values;
    for (int r = 0; r < rows; ++r) {
        values.clear();
        for (int c = 0; c < columns; ++c) {
            if (PQgetisnull(result, r, c))
                values.emplace_back();
            else
                values.emplace_back(PQgetvalue(result, r, c), PQgetlength(result, r, c));
        }
        row(values);
    }
    PQclear(result);
    return true;
}

std::vector<std::string> PgDatabase::refreshTables()
{
    std::vector<std::string> notes;
    std::set<std::string> existing;
    std::string error;
    for (const Table own : OwnTables) {
        if (!execute(createOwnTableSql(own, Dialect::Postgres).c_str(), error))
            notes.push_back(std::string("The table ") + tableName(own) +
                            " cannot be created: " + error);
    }
    if (!query(
            "SELECT c.relname FROM pg_catalog.pg_class c WHERE c.relkind IN ('r', 'p') "
            "AND pg_catalog.pg_table_is_visible(c.oid)",
            [&](const Row &row) { existing.insert(std::string(row.at(0))); }, error)) {
        notes.push_back("The list of tables cannot be read: " + error);
        return notes;
    }
    const auto exists = [&](Table table) {
        std::string name = tableName(table);
        for (char &c : name)
            c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        return existing.count(name) > 0;
    };
    for (std::size_t s = 0; s < StatementCount; ++s) {
        const auto statement = static_cast<Statement>(s);
        const Table table = statementTable(statement);
        if (m_prepared[s] || !exists(table))
            continue;
        const std::string sql = statementSql(statement, Dialect::Postgres);
        PGresult *result = PQprepare(m_conn, statementName(s).c_str(), sql.c_str(),
                                     int(parameterCount(statement)), nullptr);
        if (result && PQresultStatus(result) == PGRES_COMMAND_OK)
            m_prepared[s] = true;
        else
            notes.push_back(std::string("The table ") + tableName(table) +
                            " does not have the columns Ledgerwell writes: " +
                            (result ? trimmedMessage(PQresultErrorMessage(result)) : lastError()));
        PQclear(result);
    }
    for (std::size_t t = 0; t < TableCount; ++t) {
        if (!m_prepared[t])
            continue;
        for (std::size_t c = 0; c < ChunkCount; ++c) {
            if (m_preparedChunks[t][c])
                continue;
            const std::string sql =
                insertSql(static_cast<Table>(t), Dialect::Postgres, ChunkRows[c]);
            PGresult *result = PQprepare(m_conn, chunkName(t, ChunkRows[c]).c_str(), sql.c_str(),
                                         int(ChunkRows[c] * parameterCount(Statement(t))), nullptr);
            m_preparedChunks[t][c] = result && PQresultStatus(result) == PGRES_COMMAND_OK;
            PQclear(result);
        }
    }
    for (std::size_t t = 0; t < TableCount; ++t) {
        const auto table = static_cast<Table>(t);
        bool ready = m_prepared[index(insertInto(table))];
        if (table == Table::Servers)
            ready = ready && m_prepared[index(Statement::UpdateServer)];
        if (table == Table::Games)
            ready = ready && m_prepared[index(Statement::UpdateGameEnd)];
        if (!exists(table))
            notes.push_back(std::string("The table ") + tableName(table) +
                            " is missing; its rows are not written.");
        m_present[t] = ready;
        if (ready && table != Table::Commits && !m_sequenceReady[t])
            prepareSequence(table, notes);
        if (ready && nameKey(table).count > 0 && !m_findPrepared[t])
            prepareNames(table, notes);
    }
    return notes;
}

// The sequence starts above the Records the table holds, so rows written before keep theirs.
void PgDatabase::prepareSequence(Table table, std::vector<std::string> &notes)
{
    std::string error;
    std::int64_t max = 0;
    bool made = maxRecord(table, max, error);
    const std::string sql = "CREATE SEQUENCE IF NOT EXISTS " + sequenceName(table) +
                            " INCREMENT BY " + std::to_string(RecordBlock) + " START WITH " +
                            std::to_string(max + 1);
    // Another writer may make it at the same moment; a second try then finds it.
    made = made && (execute(sql.c_str(), error) || execute(sql.c_str(), error));
    if (!made)
        notes.push_back(std::string("The Record numbers of ") + tableName(table) +
                        " cannot be drawn: " + error);
    m_sequenceReady[index(table)] = made;
}

void PgDatabase::prepareNames(Table table, std::vector<std::string> &notes)
{
    std::string error;
    if (!execute(nameIndexSql(table).c_str(), error))
        notes.push_back(uniqueNamesNote(table, error));
    const std::string sql = findNameSql(table, Dialect::Postgres);
    PGresult *result =
        PQprepare(m_conn, ("ledgerwell_find_" + std::to_string(index(table))).c_str(), sql.c_str(),
                  int(nameKey(table).count), nullptr);
    m_findPrepared[index(table)] = result && PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
}

std::int64_t PgDatabase::findRecord(Table table, const Value *values)
{
    if (!m_findPrepared[index(table)])
        return 0;
    const NameKey key = nameKey(table);
    const char *params[2] = {};
    for (std::size_t c = 0; c < key.count; ++c) {
        const Value &value = values[key.first + c];
        params[c] = value.kind == Value::Kind::Text ? value.bytes.c_str() : nullptr;
    }
    PGresult *result =
        PQexecPrepared(m_conn, ("ledgerwell_find_" + std::to_string(index(table))).c_str(),
                       int(key.count), params, nullptr, nullptr, 0);
    std::int64_t record = 0;
    if (result && PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0)
        record = std::atoll(PQgetvalue(result, 0, 0));
    PQclear(result);
    return record;
}

std::int64_t PgDatabase::newRecord(Table table, std::string &error)
{
    Block &block = m_blocks[index(table)];
    if (block.next == block.end) {
        std::int64_t first = 0;
        if (!query(
                "SELECT nextval('" + sequenceName(table) + "')",
                [&](const Row &row) { first = std::atoll(std::string(row.at(0)).c_str()); },
                error) ||
            first <= 0) {
            error = std::string("no Record can be drawn for ") + tableName(table) + ": " + error;
            return 0;
        }
        block = {first, first + RecordBlock};
    }
    return block.next++;
}

bool PgDatabase::send(const std::string &statement, const RowBatch &batch, const Step *const *steps,
                      std::size_t rows)
{
    const std::size_t perRow = parameterCount(steps[0]->statement);
    const std::size_t count = perRow * rows;
    m_params.resize(count);
    m_lengths.resize(count);
    m_formats.resize(count);
    m_numbers.resize(count * NumberBytes);
    for (std::size_t r = 0; r < rows; ++r) {
        const Value *values = batch.values(*steps[r]);
        for (std::size_t c = 0; c < perRow; ++c) {
            const std::size_t i = r * perRow + c;
            const Value &value = values[c];
            char *number = m_numbers.data() + i * NumberBytes;
            m_lengths[i] = 0;
            m_formats[i] = 0;
            switch (value.kind) {
            case Value::Kind::Null:
            case Value::Kind::Ref: // always numbered before it is sent
                m_params[i] = nullptr;
                break;
            case Value::Kind::Integer:
                *std::to_chars(number, number + NumberBytes - 1, value.integer).ptr = '\0';
                m_params[i] = number;
                break;
            case Value::Kind::Real:
                *std::to_chars(number, number + NumberBytes - 1, value.real).ptr = '\0';
                m_params[i] = number;
                break;
            case Value::Kind::Text:
                m_params[i] = value.bytes.c_str();
                break;
            case Value::Kind::Blob:
                m_params[i] = value.bytes.data();
                m_lengths[i] = int(value.bytes.size());
                m_formats[i] = 1; // raw bytes, no escaping
                break;
            }
        }
    }
    return PQsendQueryPrepared(m_conn, statement.c_str(), int(count), m_params.data(),
                               m_lengths.data(), m_formats.data(), 0) == 1;
}

bool PgDatabase::send(const RowBatch &batch, const Step &step)
{
    const Step *steps[] = {&step};
    return send(statementName(index(step.statement)), batch, steps, 1);
}

bool PgDatabase::begin(RowBatch &batch, RecordNumbers &numbers, WriteReport &report)
{
    std::string error;
    if (!execute("BEGIN", error)) {
        report.outcome =
            connected() ? WriteReport::Outcome::Retry : WriteReport::Outcome::ConnectionLost;
        report.error = error;
        return false;
    }
    if (numbers.resolve(*this, batch, error))
        return true;
    std::string ignored;
    execute("ROLLBACK", ignored);
    numbers.discard(batch);
    report.outcome =
        connected() ? WriteReport::Outcome::Retry : WriteReport::Outcome::ConnectionLost;
    report.error = error;
    return false;
}

WriteReport PgDatabase::write(RowBatch &batch, RecordNumbers &numbers)
{
    WriteReport report;
    if (!connected()) {
        report.outcome = WriteReport::Outcome::ConnectionLost;
        report.error = lastError();
        return report;
    }
    for (int attempt = 1;; ++attempt) {
        report = WriteReport();
        if (!begin(batch, numbers, report))
            return report;
        report = writePipelined(batch);
        if (report.outcome == WriteReport::Outcome::Written) {
            numbers.commit();
            return report;
        }
        // Lost with the commit on its way: the caller finds out whether it went through,
        // and only then are the numbers kept or discarded.
        if (report.outcome == WriteReport::Outcome::ConnectionLost)
            return report;
        numbers.discard(batch);
        // Another writer made one of the names first: looked up again, it is found.
        if (report.conflict && attempt < ConflictAttempts)
            continue;
        if (report.outcome != WriteReport::Outcome::Retry ||
            !(report.error.empty() || report.conflict))
            return report;
        // A refused row: the others are written without it.
        report = WriteReport();
        if (!begin(batch, numbers, report))
            return report;
        report = writeRowByRow(batch);
        if (report.outcome == WriteReport::Outcome::Written)
            numbers.commit();
        else
            numbers.discard(batch);
        return report;
    }
}

WriteReport PgDatabase::writePipelined(const RowBatch &batch)
{
    WriteReport report;
    std::string firstError, firstState;
    bool lost = false;

    const auto readUntilSync = [&]() {
        while (true) {
            PGresult *result = PQgetResult(m_conn);
            if (!result) {
                if (PQstatus(m_conn) != CONNECTION_OK) {
                    lost = true;
                    return;
                }
                continue; // the end of one statement's results
            }
            const ExecStatusType status = PQresultStatus(result);
            if (status == PGRES_PIPELINE_SYNC) {
                PQclear(result);
                return;
            }
            if (status == PGRES_FATAL_ERROR && firstError.empty()) {
                firstError = trimmedMessage(PQresultErrorMessage(result));
                const char *state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
                firstState = state ? state : "";
            }
            PQclear(result);
        }
    };

    if (PQenterPipelineMode(m_conn) != 1) {
        report.outcome = WriteReport::Outcome::ConnectionLost;
        report.error = lastError();
        return report;
    }
    // Inserts table by table, many rows per statement; then the updates, in their order
    // (each follows the insert of its row, which the transaction holds by then).
    std::array<std::vector<const Step *>, TableCount> inserts;
    std::vector<const Step *> updates;
    for (const Step &step : batch.steps()) {
        if (step.skipped)
            continue;
        if (!m_prepared[index(step.statement)] || !hasTable(statementTable(step.statement))) {
            ++report.dropped;
        } else if (isInsert(step.statement)) {
            inserts[index(statementTable(step.statement))].push_back(&step);
            ++report.inserted;
        } else {
            updates.push_back(&step);
            ++report.updated;
        }
    }
    std::size_t inSegment = 0;
    bool sent = true; // the transaction is open already
    const auto sendNext = [&](const std::string &statement, const Step *const *steps,
                              std::size_t rows) {
        sent = sent && !lost && send(statement, batch, steps, rows);
        if (sent && ++inSegment == SegmentStatements) {
            sent = PQpipelineSync(m_conn) == 1;
            if (sent)
                readUntilSync();
            inSegment = 0;
        }
    };
    for (std::size_t t = 0; t < TableCount; ++t) {
        const std::vector<const Step *> &rows = inserts[t];
        std::size_t done = 0;
        for (std::size_t c = 0; c < ChunkCount; ++c) {
            while (m_preparedChunks[t][c] && rows.size() - done >= ChunkRows[c] && sent) {
                sendNext(chunkName(t, ChunkRows[c]), rows.data() + done, ChunkRows[c]);
                done += ChunkRows[c];
            }
        }
        for (; done < rows.size() && sent; ++done)
            sendNext(statementName(t), rows.data() + done, 1);
    }
    for (const Step *step : updates)
        sendNext(statementName(index(step->statement)), &step, 1);
    if (sent && !lost)
        sent = PQsendQueryParams(m_conn, "COMMIT", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1 &&
               PQpipelineSync(m_conn) == 1;
    if (sent && !lost)
        readUntilSync();
    if (!sent || lost || PQstatus(m_conn) != CONNECTION_OK) {
        report = WriteReport();
        report.outcome = WriteReport::Outcome::ConnectionLost;
        report.error = firstError.empty() ? lastError() : firstError;
        return report;
    }
    PQexitPipelineMode(m_conn);
    if (firstError.empty())
        return report;

    std::string ignored;
    execute("ROLLBACK", ignored);
    const bool transient = isTransient(firstState);
    report = WriteReport();
    report.outcome = WriteReport::Outcome::Retry;
    report.conflict = firstState == "23505"; // unique_violation
    // An empty error asks for the row-by-row write; a transient one waits.
    report.error = transient || report.conflict ? firstError : std::string();
    return report;
}

WriteReport PgDatabase::writeRowByRow(const RowBatch &batch)
{
    WriteReport report;
    std::string error;
    const auto lostOrRetry = [&](const std::string &message) {
        WriteReport failed;
        failed.outcome =
            connected() ? WriteReport::Outcome::Retry : WriteReport::Outcome::ConnectionLost;
        failed.error = message;
        if (connected()) {
            std::string ignored;
            execute("ROLLBACK", ignored);
        }
        return failed;
    };
    for (const Step &step : batch.steps()) { // in the transaction begin() opened
        if (step.skipped)
            continue;
        if (!m_prepared[index(step.statement)] || !hasTable(statementTable(step.statement))) {
            ++report.dropped;
            continue;
        }
        if (!execute("SAVEPOINT ledgerwell_row", error) || !send(batch, step))
            return lostOrRetry(error.empty() ? lastError() : error);
        std::string rowError, rowState;
        while (PGresult *result = PQgetResult(m_conn)) {
            if (PQresultStatus(result) == PGRES_FATAL_ERROR && rowError.empty()) {
                rowError = trimmedMessage(PQresultErrorMessage(result));
                const char *state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
                rowState = state ? state : "";
            }
            PQclear(result);
        }
        if (!connected() || isTransient(rowState))
            return lostOrRetry(rowError.empty() ? lastError() : rowError);
        if (rowError.empty()) {
            ++(isInsert(step.statement) ? report.inserted : report.updated);
            if (!execute("RELEASE SAVEPOINT ledgerwell_row", error))
                return lostOrRetry(error);
        } else {
            ++report.dropped;
            addNote(report, rowNote(batch, step, rowError));
            if (!execute("ROLLBACK TO SAVEPOINT ledgerwell_row", error))
                return lostOrRetry(error);
        }
    }
    if (!execute("COMMIT", error))
        return lostOrRetry(error);
    return report;
}

} // namespace ledgerwell
