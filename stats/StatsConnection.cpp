#include "StatsConnection.h"

#include "platform/ConnectionString.h"
#include "platform/SqlProvider.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <sqlite3.h>

namespace {

bool isSqliteProvider(const QString &provider)
{
    for (const char *name : {"SQLite", "Microsoft.Jet.OLEDB.3.51", "Microsoft.Jet.OLEDB.4.0"}) {
        if (provider.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

ErrorInfo failure(const QString &text)
{
    return ErrorInfo{0, text};
}

// One deadline per thread: each thread has its own connections and runs one statement at a
// time on them.
thread_local qint64 queryDeadline = 0;
QElapsedTimer &queryClock()
{
    thread_local QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer;
}

int overDeadline(void *)
{
    return queryDeadline != 0 && queryClock().elapsed() > queryDeadline ? 1 : 0;
}

Result<QSqlDatabase> openSqlite(const ConnectionString &conn, const QString &name, Access access)
{
    const QString file = conn.value(QStringLiteral("Data Source"));
    if (file.isEmpty())
        return failure(
            QStringLiteral("the connection string names no database file (Data Source)"));
    const QFileInfo info(file);
    if (!info.isFile())
        return failure(QStringLiteral("there is no database file %1").arg(file));
    if (!info.isReadable())
        return failure(QStringLiteral("the database file %1 cannot be read").arg(file));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
    url.setQuery(access == Access::ReadOnly ? QStringLiteral("mode=ro")
                                            : QStringLiteral("mode=rw"));
    db.setDatabaseName(url.toString(QUrl::FullyEncoded));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000%1")
                             .arg(access == Access::ReadOnly
                                      ? QStringLiteral(";QSQLITE_OPEN_READONLY")
                                      : QString()));
    if (!db.open())
        return failure(engineText(db.lastError()));
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")))
        return failure(QStringLiteral("%1 is no SQLite database (%2)")
                           .arg(file, engineText(probe.lastError())));
    if (access == Access::ReadOnly) {
        if (sqlite3 *handle = sqliteHandle(db))
            sqlite3_progress_handler(handle, 10000, overDeadline, nullptr);
    }
    return db;
}

Result<QSqlDatabase> openPostgres(const ConnectionString &conn, const QString &name, Access access)
{
    const QString source = conn.value(QStringLiteral("Data Source"));
    const QString catalog = conn.value(QStringLiteral("Initial Catalog"));
    if (source.isEmpty() || catalog.isEmpty())
        return failure(QStringLiteral("the connection string names no server (Data Source) or "
                                      "no database (Initial Catalog)"));
    QString host = source;
    int port = 5432;
    const qsizetype colon = source.lastIndexOf(QLatin1Char(':'));
    if (colon > 0 && !source.endsWith(QLatin1Char(']'))) {
        bool ok = false;
        port = source.mid(colon + 1).toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return failure(QStringLiteral("the server port in \"%1\" is no port").arg(source));
        host = source.left(colon);
    }
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(host);
    db.setPort(port);
    db.setDatabaseName(catalog);
    db.setUserName(conn.value(QStringLiteral("User ID")));
    db.setPassword(conn.contains(QStringLiteral("User Password"))
                       ? conn.value(QStringLiteral("User Password"))
                       : conn.value(QStringLiteral("Password")));
    // The server itself refuses writes on the pages' connections and ends long statements.
    db.setConnectOptions(access == Access::ReadOnly
                             ? QStringLiteral("connect_timeout=10;options='-c "
                                              "default_transaction_read_only=on -c "
                                              "statement_timeout=%1'")
                                   .arg(QueryLimitMs)
                             : QStringLiteral("connect_timeout=10"));
    if (!db.open())
        return failure(engineText(db.lastError()));
    return db;
}

} // namespace

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.data());
}

Result<QSqlDatabase> openStatsConnection(const QString &connString, const QString &name,
                                         Access access)
{
    const ConnectionString conn = ConnectionString::parse(connString);
    const QString provider = conn.value(QStringLiteral("Provider"));
    if (isSqliteProvider(provider))
        return openSqlite(conn, name, access);
    if (provider.compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0)
        return openPostgres(conn, name, access);
    return failure(provider.isEmpty()
                       ? QStringLiteral("the connection string names no Provider")
                       : QStringLiteral("the statistics pages read SQLite files and PostgreSQL, "
                                        "not the provider \"%1\"")
                             .arg(provider));
}

Dialect dialectOf(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL") ? Dialect::Postgres : Dialect::Sqlite;
}

QString databaseLabel(const QString &connString)
{
    const ConnectionString conn = ConnectionString::parse(connString);
    const QString source = conn.value(QStringLiteral("Data Source"));
    const QString catalog = conn.value(QStringLiteral("Initial Catalog"));
    return catalog.isEmpty() ? source : source + QLatin1Char('/') + catalog;
}

void startQueryClock(const QSqlDatabase &db)
{
    if (dialectOf(db) == Dialect::Sqlite)
        queryDeadline = queryClock().elapsed() + QueryLimitMs;
}

QString dateText(const QVariant &value)
{
    if (value.isNull())
        return {};
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return value.toString().replace(QLatin1Char('T'), QLatin1Char(' ')).left(19);
}
