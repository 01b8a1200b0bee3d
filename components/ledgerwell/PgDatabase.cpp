#include "PgDatabase.h"

#include "TextRules.h"

#include <libpq-fe.h>

#include <arpa/inet.h>
#include <charconv>
#include <cstdlib>
#include <set>

namespace ledgerwell {

namespace {

constexpr std::size_t SegmentStatements = 1000; // statements between two pipeline syncs
constexpr std::size_t MaxNotesPerBatch = 20;
constexpr int MaxParameters = 8;

std::string statementName(std::size_t statement)
{
    return "ledgerwell_" + std::to_string(statement);
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
    if (m_conn)
        PQfinish(m_conn);
}

bool PgDatabase::connect(std::string &error)
{
    if (m_conn) {
        PQfinish(m_conn);
        m_conn = nullptr;
    }
    m_prepared.fill(false);
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
    }
    return notes;
}

std::int64_t PgDatabase::maxRecord(Table table)
{
    std::int64_t max = 0;
    std::string error;
    query(
        std::string("SELECT MAX(Record) FROM ") + tableName(table),
        [&](const Row &row) {
            if (!row.empty() && !row[0].empty())
                max = std::atoll(std::string(row[0]).c_str());
        },
        error);
    return max;
}

bool PgDatabase::recordExists(Table table, std::int64_t record)
{
    const std::string sql = std::string("SELECT 1 FROM ") + tableName(table) + " WHERE Record = $1";
    const std::string value = std::to_string(record);
    const char *params[] = {value.c_str()};
    PGresult *result = PQexecParams(m_conn, sql.c_str(), 1, nullptr, params, nullptr, nullptr, 0);
    const bool found = result && PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0;
    PQclear(result);
    return found;
}

bool PgDatabase::send(const RowBatch &batch, const Step &step)
{
    const Value *values = batch.values(step);
    const int count = int(parameterCount(step.statement));
    char numbers[MaxParameters][32];
    const char *params[MaxParameters];
    int lengths[MaxParameters];
    int formats[MaxParameters];
    for (int i = 0; i < count; ++i) {
        const Value &value = values[i];
        lengths[i] = 0;
        formats[i] = 0;
        switch (value.kind) {
        case Value::Kind::Null:
            params[i] = nullptr;
            break;
        case Value::Kind::Integer: {
            const auto end = std::to_chars(numbers[i], numbers[i] + 31, value.integer).ptr;
            *end = '\0';
            params[i] = numbers[i];
            break;
        }
        case Value::Kind::Real: {
            const auto end = std::to_chars(numbers[i], numbers[i] + 31, value.real).ptr;
            *end = '\0';
            params[i] = numbers[i];
            break;
        }
        case Value::Kind::Text:
            params[i] = value.bytes.c_str();
            break;
        case Value::Kind::Blob:
            params[i] = value.bytes.data();
            lengths[i] = int(value.bytes.size());
            formats[i] = 1; // raw bytes, no escaping
            break;
        }
    }
    return PQsendQueryPrepared(m_conn, statementName(index(step.statement)).c_str(), count, params,
                               lengths, formats, 0) == 1;
}

WriteReport PgDatabase::write(const RowBatch &batch)
{
    if (!connected()) {
        WriteReport report;
        report.outcome = WriteReport::Outcome::ConnectionLost;
        report.error = lastError();
        return report;
    }
    WriteReport report = writePipelined(batch);
    if (report.outcome == WriteReport::Outcome::Retry && report.error.empty())
        return writeRowByRow(batch); // a refused row: the others are written without it
    return report;
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
    std::size_t inSegment = 0;
    bool sent = PQsendQueryParams(m_conn, "BEGIN", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    for (const Step &step : batch.steps()) {
        if (!sent || lost)
            break;
        if (!m_prepared[index(step.statement)] || !hasTable(statementTable(step.statement))) {
            ++report.dropped;
            continue;
        }
        sent = send(batch, step);
        ++(isInsert(step.statement) ? report.inserted : report.updated);
        if (sent && ++inSegment == SegmentStatements) {
            sent = PQpipelineSync(m_conn) == 1;
            if (sent)
                readUntilSync();
            inSegment = 0;
        }
    }
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
    // An empty error asks for the row-by-row write; a transient one waits.
    report.error = transient ? firstError : std::string();
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
    if (!execute("BEGIN", error))
        return lostOrRetry(error);
    for (const Step &step : batch.steps()) {
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
