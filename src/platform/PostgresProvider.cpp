#include "PostgresProvider.h"

#include "DbErrors.h"
#include "SqliteProvider.h"

namespace {

const char *const SavepointName = "varnock_statement";

// Server error classes (SQLSTATE) that mean a lock held elsewhere.
constexpr const char *LockStates[] = {"55P03", "40P01", "40001"};

// SQLSTATEs of a name or key that is already taken.
constexpr const char *DuplicateStates[] = {"23505", "42701", "42710", "42712", "42723",
                                           "42P03", "42P04", "42P05", "42P06", "42P07"};

template <size_t N> bool isOneOf(const QString &state, const char *const (&states)[N])
{
    for (const char *candidate : states) {
        if (state == QLatin1String(candidate))
            return true;
    }
    return false;
}

// The server's message without its severity prefix and context lines.
QString serverText(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        return engineText(error);
    text = text.section(QLatin1Char('\n'), 0, 0).trimmed();
    for (const char *prefix : {"ERROR:", "FATAL:"}) {
        if (text.startsWith(QLatin1String(prefix)))
            text = text.mid(qstrlen(prefix)).trimmed();
    }
    return text;
}

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

} // namespace

QString quoteReservedColumns(const QString &sql)
{
    if (!sql.trimmed().startsWith(QLatin1String("create table"), Qt::CaseInsensitive))
        return sql;
    QString out;
    out.reserve(sql.size() + 8);
    qsizetype i = 0;
    while (i < sql.size()) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const qsizetype close = sql.indexOf(c, i + 1);
            const qsizetype end = close < 0 ? sql.size() : close + 1;
            out += sql.mid(i, end - i);
            i = end;
        } else if (isWordChar(c)) {
            qsizetype end = i;
            while (end < sql.size() && isWordChar(sql.at(end)))
                ++end;
            const QString word = sql.mid(i, end - i);
            out += word.compare(QLatin1String("offset"), Qt::CaseInsensitive) == 0
                       ? QStringLiteral("\"offset\"")
                       : word;
            i = end;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

Status PostgresProvider::configure(QSqlDatabase &db, const ConnectionString &connString)
{
    QString host = connString.value(QStringLiteral("Data Source"));
    int port = DefaultPort;
    QString portText;
    if (host.startsWith(QLatin1Char('['))) {
        const qsizetype close = host.indexOf(QLatin1Char(']'));
        if (close > 0) {
            if (host.mid(close + 1).startsWith(QLatin1Char(':')))
                portText = host.mid(close + 2);
            host = host.mid(1, close - 1);
        }
    } else if (host.count(QLatin1Char(':')) == 1) {
        portText = host.section(QLatin1Char(':'), 1);
        host = host.section(QLatin1Char(':'), 0, 0);
    }
    if (!portText.isEmpty()) {
        bool ok = false;
        port = portText.toInt(&ok);
        if (!ok || port < 1 || port > 65535) {
            return DbErrors::openFailed(
                QStringLiteral("Invalid port '%1' in Data Source.").arg(portText));
        }
    }
    const Result<int> timeout = busyTimeoutMs(connString, DefaultLockTimeoutMs);
    if (!timeout)
        return timeout.error();
    m_lockTimeoutMs = *timeout;

    db.setHostName(host);
    db.setPort(port);
    db.setDatabaseName(connString.value(QStringLiteral("Initial Catalog")));
    db.setUserName(connString.value(QStringLiteral("User ID")));
    db.setPassword(
        connString.valueOf({QStringLiteral("User Password"), QStringLiteral("Password")}));
    db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    return {};
}

Status PostgresProvider::prepareSession(QSqlDatabase &db)
{
    const Status lockTimeout =
        run(db, QStringLiteral("SET lock_timeout = %1").arg(m_lockTimeoutMs));
    if (!lockTimeout)
        return lockTimeout;
    // Notices would go to standard error.
    return run(db, QStringLiteral("SET client_min_messages = warning"));
}

Status PostgresProvider::execute(QSqlDatabase &db, const QString &sql, bool inTransaction)
{
    const QString statement = quoteReservedColumns(sql);
    if (!inTransaction)
        return run(db, statement);
    const Status savepoint = run(db, QStringLiteral("SAVEPOINT %1").arg(SavepointName));
    if (!savepoint)
        return savepoint;
    const Status done = run(db, statement);
    if (!done) {
        // Keeps the transaction usable, so that the statement can be tried again.
        run(db, QStringLiteral("ROLLBACK TO SAVEPOINT %1").arg(SavepointName));
        return done;
    }
    return run(db, QStringLiteral("RELEASE SAVEPOINT %1").arg(SavepointName));
}

Status PostgresProvider::setLockWait(QSqlDatabase &db, bool wait)
{
    // The least wait the server knows: 0 would mean waiting for ever.
    constexpr int Shortest = 1;
    return run(db, QStringLiteral("SET lock_timeout = %1").arg(wait ? m_lockTimeoutMs : Shortest));
}

QString PostgresProvider::storedName(const QString &name) const
{
    // The server folds unquoted names to lower case, ASCII letters only.
    QString folded = name;
    for (QChar &c : folded) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return folded;
}

QList<DbRecord> PostgresProvider::providerTypes() const
{
    return providerTypeRecords({
        {"smallint", 2, true, false},
        {"integer", 3, true, false},
        {"bigint", 20, true, false},
        {"real", 4, true, false},
        {"double precision", 5, true, false},
        {"boolean", 11, true, false},
        {"numeric", 131, true, false},
        {"date", 133, true, false},
        {"timestamp", 135, true, false},
        {"char", 129, false, false},
        {"varchar", 129, true, false},
        {"text", 129, false, true},
        {"bytea", 128, false, true},
    });
}

Result<QList<DbRecord>> PostgresProvider::tables(QSqlDatabase &db)
{
    return select(db,
                  QStringLiteral("SELECT table_name, CASE table_type "
                                 "WHEN 'BASE TABLE' THEN 'TABLE' "
                                 "WHEN 'FOREIGN' THEN 'FOREIGN TABLE' "
                                 "ELSE table_type END "
                                 "FROM information_schema.tables "
                                 "WHERE table_schema = current_schema() ORDER BY table_name"),
                  {QStringLiteral("TABLE_NAME"), QStringLiteral("TABLE_TYPE")});
}

ErrorInfo PostgresProvider::statementError(const QSqlError &error) const
{
    const QString state = error.nativeErrorCode();
    const QString text = serverText(error);
    if (isOneOf(state, LockStates))
        return DbErrors::locked(text);
    if (isOneOf(state, DuplicateStates))
        return DbErrors::duplicate(text);
    return DbErrors::commandFailed(text);
}

ErrorInfo PostgresProvider::openError(const QSqlError &error) const
{
    return DbErrors::openFailed(engineText(error));
}
