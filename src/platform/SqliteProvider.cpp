#include "SqliteProvider.h"

#include "DbErrors.h"

#include <QFileInfo>
#include <QUrl>

namespace {

// Result codes of the engine (the low byte of an extended code).
constexpr int Error = 1;
constexpr int Busy = 5;
constexpr int LockedCode = 6;
constexpr int ConstraintPrimaryKey = 1555;
constexpr int ConstraintUnique = 2067;

} // namespace

Result<int> busyTimeoutMs(const ConnectionString &connString, int fallback)
{
    if (!connString.contains(QStringLiteral("Busy Timeout")))
        return fallback;
    bool ok = false;
    const int ms = connString.value(QStringLiteral("Busy Timeout")).toInt(&ok);
    if (!ok || ms < 0) {
        return DbErrors::openFailed(
            QStringLiteral("Busy Timeout must be a whole number of milliseconds, not '%1'.")
                .arg(connString.value(QStringLiteral("Busy Timeout"))));
    }
    return ms;
}

Status SqliteProvider::configure(QSqlDatabase &db, const ConnectionString &connString)
{
    const QString file = connString.value(QStringLiteral("Data Source"));
    if (file.isEmpty())
        return DbErrors::openFailed(QStringLiteral("No database file is named (Data Source)."));
    const QFileInfo info(file);
    if (!info.exists())
        return DbErrors::openFailed(QStringLiteral("Could not find file '%1'.").arg(file));
    if (!info.isFile())
        return DbErrors::openFailed(QStringLiteral("'%1' is not a database file.").arg(file));
    const Result<int> timeout = busyTimeoutMs(connString, DefaultBusyTimeoutMs);
    if (!timeout)
        return timeout.error();

    m_file = file;
    m_busyTimeoutMs = *timeout;
    // mode=rw makes the engine itself refuse to create the file, should it vanish meanwhile.
    QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
    url.setQuery(QStringLiteral("mode=rw"));
    db.setDatabaseName(url.toString(QUrl::FullyEncoded));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(*timeout));
    return {};
}

Status SqliteProvider::prepareSession(QSqlDatabase &db)
{
    // The first statements are where a file that is no database shows itself.
    for (const QString &pragma :
         {QStringLiteral("PRAGMA journal_mode=WAL"), QStringLiteral("PRAGMA synchronous=NORMAL")}) {
        const Status done = run(db, pragma);
        if (!done && done.error().number == DbErrors::Locked)
            return done;
        if (!done) {
            return DbErrors::openFailed(done.error().description +
                                        QStringLiteral(" ('%1')").arg(m_file));
        }
    }
    return {};
}

Status SqliteProvider::begin(QSqlDatabase &db)
{
    // Not IMMEDIATE: a lock held elsewhere is then met by the statement, inside the open
    // transaction, where retrying it or rolling back (the statement prompts' Yes and No) has
    // something to work on.
    return run(db, QStringLiteral("BEGIN DEFERRED"));
}

Status SqliteProvider::setLockWait(QSqlDatabase &db, bool wait)
{
    return run(db, QStringLiteral("PRAGMA busy_timeout = %1").arg(wait ? m_busyTimeoutMs : 0));
}

QList<DbRecord> SqliteProvider::providerTypes() const
{
    return providerTypeRecords({
        {"SMALLINT", 2, true, false},
        {"INTEGER", 3, true, false},
        {"REAL", 4, true, false},
        {"DOUBLE", 5, true, false},
        {"BOOLEAN", 11, true, false},
        {"NUMERIC", 131, true, false},
        {"DATETIME", 7, true, false},
        {"TIMESTAMP", 135, true, false},
        {"CHAR", 129, false, false},
        {"TEXT", 129, false, true},
        {"VARCHAR", 129, true, false},
        {"VARBINARY", 128, true, false},
        {"BLOB", 128, false, true},
    });
}

Result<QList<DbRecord>> SqliteProvider::tables(QSqlDatabase &db)
{
    return select(db,
                  QStringLiteral("SELECT name, CASE WHEN type = 'view' THEN 'VIEW' "
                                 "WHEN name LIKE 'sqlite\\_%' ESCAPE '\\' THEN 'SYSTEM TABLE' "
                                 "ELSE 'TABLE' END FROM sqlite_master "
                                 "WHERE type IN ('table', 'view') ORDER BY name"),
                  {QStringLiteral("TABLE_NAME"), QStringLiteral("TABLE_TYPE")});
}

ErrorInfo SqliteProvider::statementError(const QSqlError &error) const
{
    const int code = error.nativeErrorCode().toInt();
    const QString text = engineText(error);
    switch (code & 0xff) {
    case Busy:
    case LockedCode:
        return DbErrors::locked(text);
    case Error:
        // Creating a table or view under a name already taken.
        if (text.contains(QLatin1String("already exists")))
            return DbErrors::duplicate(text);
        break;
    default:
        break;
    }
    if (code == ConstraintUnique || code == ConstraintPrimaryKey)
        return DbErrors::duplicate(text);
    return DbErrors::commandFailed(text);
}
