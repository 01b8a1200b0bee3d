#pragma once

#include "SqlProvider.h"

// The embedded engine, also standing in for the desktop file databases: Data Source is a
// database file that must already exist, since opening never creates one. Writers use WAL so
// that readers never wait. A transaction asks for the write lock with its first write, so a
// database that another connection keeps busy is reported as locked by that statement, after
// "Busy Timeout" milliseconds (3000 unless the connection string says otherwise).
class SqliteProvider : public SqlProvider
{
public:
    static constexpr int DefaultBusyTimeoutMs = 3000;

    QString driverName() const override { return QStringLiteral("QSQLITE"); }
    Status configure(QSqlDatabase &db, const ConnectionString &connString) override;
    Status prepareSession(QSqlDatabase &db) override;
    Status begin(QSqlDatabase &db) override;
    Status setLockWait(QSqlDatabase &db, bool wait) override;

    QList<DbRecord> providerTypes() const override;
    Result<QList<DbRecord>> tables(QSqlDatabase &db) override;

    ErrorInfo statementError(const QSqlError &error) const override;

private:
    QString m_file;
    int m_busyTimeoutMs = DefaultBusyTimeoutMs;
};

// The "Busy Timeout" element in milliseconds, or fallback when the string has none.
Result<int> busyTimeoutMs(const ConnectionString &connString, int fallback);
