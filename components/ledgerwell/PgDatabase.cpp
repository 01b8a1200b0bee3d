#include "PgDatabase.h"

#include "PgCopyRows.h"
#include "TextRules.h"

#include <libpq-fe.h>
#include <openssl/crypto.h>

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

// Names PostgreSQL made without quotes, as its catalog holds them.
std::string lowered(std::string name)
{
    for (char &c : name)
        c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    return name;
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
    return lowered(std::string("ledgerwell_") + tableName(table) + "_record");
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

void PgDatabase::keepCryptoUntilExit()
{
    OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
}

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
    m_findPrepared.fill(false); // prepared statements end with their connection
    m_byteaKnown = false;
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
    const auto exists = [&](Table table) { return existing.count(lowered(tableName(table))) > 0; };
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
    findByteaColumns();
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

void PgDatabase::findByteaColumns()
{
    m_byteaColumns.fill(0);
    std::string error;
    m_byteaKnown = query(
        "SELECT c.relname, a.attname FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_class c "
        "ON c.oid = a.attrelid WHERE a.atttypid = 'pg_catalog.bytea'::pg_catalog.regtype "
        "AND a.attnum > 0 AND NOT a.attisdropped AND pg_catalog.pg_table_is_visible(c.oid)",
        [&](const Row &row) {
            for (std::size_t t = 0; t < TableCount; ++t) {
                const auto table = static_cast<Table>(t);
                if (row.at(0) != lowered(tableName(table)))
                    continue;
                for (std::size_t c = 0; c < parameterCount(insertInto(table)); ++c) {
                    if (row.at(1) == lowered(columnName(table, c)))
                        m_byteaColumns[t] |= std::uint32_t(1) << c;
                }
            }
        },
        error);
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

void PgDatabase::nameParameters(Table table, const Value *values, const char *(&params)[2])
{
    const NameKey key = nameKey(table);
    for (std::size_t c = 0; c < key.count; ++c) {
        const Value &value = values[key.first + c];
        params[c] = value.kind == Value::Kind::Text ? value.bytes.c_str() : nullptr;
    }
}

std::int64_t PgDatabase::findRecord(Table table, const Value *values)
{
    if (!m_findPrepared[index(table)])
        return 0;
    const NameKey key = nameKey(table);
    const char *params[2] = {};
    nameParameters(table, values, params);
    PGresult *result =
        PQexecPrepared(m_conn, ("ledgerwell_find_" + std::to_string(index(table))).c_str(),
                       int(key.count), params, nullptr, nullptr, 0);
    std::int64_t record = 0;
    if (result && PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0)
        record = std::atoll(PQgetvalue(result, 0, 0));
    PQclear(result);
    return record;
}

void PgDatabase::findRecords(const std::vector<NameLookup> &names, std::vector<std::int64_t> &found)
{
    found.assign(names.size(), 0);
    if (names.empty() || PQenterPipelineMode(m_conn) != 1)
        return;
    std::vector<std::size_t> asked; // the lookups sent, in order
    bool sent = true;
    for (std::size_t i = 0; i < names.size() && sent; ++i) {
        const Table table = names[i].table;
        if (!m_findPrepared[index(table)])
            continue;
        const char *params[2] = {};
        nameParameters(table, names[i].values, params);
        sent =
            PQsendQueryPrepared(m_conn, ("ledgerwell_find_" + std::to_string(index(table))).c_str(),
                                int(nameKey(table).count), params, nullptr, nullptr, 0) == 1;
        if (sent)
            asked.push_back(i);
    }
    if (!sent || PQpipelineSync(m_conn) != 1)
        return; // the connection is gone: the write that follows finds out
    // Each lookup's result, then a null; a refused one aborts those after it, which leaves
    // them 0, as a single lookup that fails does.
    std::size_t next = 0;
    while (true) {
        PGresult *result = PQgetResult(m_conn);
        if (!result) {
            if (PQstatus(m_conn) != CONNECTION_OK)
                return;
            ++next;
            continue;
        }
        const ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_TUPLES_OK && PQntuples(result) > 0 && next < asked.size())
            found[asked[next]] = std::atoll(PQgetvalue(result, 0, 0));
        PQclear(result);
        if (status == PGRES_PIPELINE_SYNC)
            break;
    }
    PQexitPipelineMode(m_conn);
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

bool PgDatabase::send(const RowBatch &batch, const Step &step)
{
    const std::size_t count = parameterCount(step.statement);
    m_params.resize(count);
    m_lengths.resize(count);
    m_formats.resize(count);
    m_numbers.resize(count * NumberBytes);
    const Value *values = batch.values(step);
    for (std::size_t i = 0; i < count; ++i) {
        const Value &value = values[i];
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
    return PQsendQueryPrepared(m_conn, statementName(index(step.statement)).c_str(), int(count),
                               m_params.data(), m_lengths.data(), m_formats.data(), 0) == 1;
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

namespace {

void takeError(const PGresult *result, std::string &error, std::string &state)
{
    if (!error.empty())
        return;
    error = trimmedMessage(PQresultErrorMessage(result));
    const char *code = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    state = code ? code : "";
}

} // namespace

WriteReport PgDatabase::writePipelined(const RowBatch &batch)
{
    WriteReport report;
    // Inserts table by table; then the updates, in their order (each follows the insert of
    // its row, which the transaction holds by then).
    TableSteps inserts;
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
    std::string firstError, firstState;
    bool lost = false;
    // COPY cannot be pipelined: the copied tables come first.
    for (std::size_t t = 0; t < TableCount && m_byteaKnown && firstError.empty() && !lost; ++t) {
        if (inserts[t].size() < CopyRows)
            continue;
        lost = !copy(static_cast<Table>(t), batch, inserts[t], firstError, firstState);
        inserts[t].clear();
    }
    if (!lost && firstError.empty())
        lost = !pipeline(batch, inserts, updates, firstError, firstState);
    if (lost || PQstatus(m_conn) != CONNECTION_OK) {
        report = WriteReport();
        report.outcome = WriteReport::Outcome::ConnectionLost;
        report.error = firstError.empty() ? lastError() : firstError;
        return report;
    }
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

bool PgDatabase::copy(Table table, const RowBatch &batch, const std::vector<const Step *> &rows,
                      std::string &error, std::string &state)
{
    PGresult *result = PQexec(m_conn, copySql(table).c_str());
    const bool open = result && PQresultStatus(result) == PGRES_COPY_IN;
    if (!open && result)
        takeError(result, error, state);
    PQclear(result);
    if (!open) {
        if (error.empty())
            error = lastError();
        return connected();
    }
    const std::size_t columns = parameterCount(insertInto(table));
    bool sent = true;
    m_copy.clear();
    for (std::size_t r = 0; r < rows.size() && sent; ++r) {
        appendCopyRow(m_copy, batch.values(*rows[r]), columns, m_byteaColumns[index(table)]);
        if (m_copy.size() >= CopyBytes || r + 1 == rows.size()) {
            sent = PQputCopyData(m_conn, m_copy.data(), int(m_copy.size())) == 1;
            m_copy.clear();
        }
    }
    // Without the end sent, libpq would answer "still copying" for ever.
    if (!sent || PQputCopyEnd(m_conn, nullptr) != 1)
        return false;
    while (PGresult *end = PQgetResult(m_conn)) {
        const ExecStatusType status = PQresultStatus(end);
        if (status == PGRES_FATAL_ERROR)
            takeError(end, error, state);
        PQclear(end);
        if (status == PGRES_COPY_IN)
            return false;
    }
    return connected();
}

bool PgDatabase::pipeline(const RowBatch &batch, const TableSteps &inserts,
                          const std::vector<const Step *> &updates, std::string &error,
                          std::string &state)
{
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
            if (status == PGRES_FATAL_ERROR)
                takeError(result, error, state);
            PQclear(result);
        }
    };

    if (PQenterPipelineMode(m_conn) != 1)
        return false;
    std::size_t inSegment = 0;
    bool sent = true; // the transaction is open already
    const auto sendNext = [&](const Step &step) {
        sent = sent && !lost && send(batch, step);
        if (sent && ++inSegment == SegmentStatements) {
            sent = PQpipelineSync(m_conn) == 1;
            if (sent)
                readUntilSync();
            inSegment = 0;
        }
    };
    for (const std::vector<const Step *> &rows : inserts) {
        for (const Step *step : rows)
            sendNext(*step);
    }
    for (const Step *step : updates)
        sendNext(*step);
    if (sent && !lost)
        sent = PQsendQueryParams(m_conn, "COMMIT", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1 &&
               PQpipelineSync(m_conn) == 1;
    if (sent && !lost)
        readUntilSync();
    if (!sent || lost || PQstatus(m_conn) != CONNECTION_OK)
        return false;
    PQexitPipelineMode(m_conn);
    return true;
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
