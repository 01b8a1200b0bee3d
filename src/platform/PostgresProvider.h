#pragma once

#include "SqlProvider.h"

// A PostgreSQL server: Data Source is host[:port] (port 5432 unless given), Initial Catalog
// the database, User ID the user and "User Password" or "Password" the password.
//
// The program's schema statements run unchanged: unquoted names fold to lower case, so the
// reserved column name Offset is quoted here, and every statement inside a transaction runs
// under a savepoint, so that a failed statement leaves the transaction usable and its retry
// meets the same error again. A lock held elsewhere is reported as locked after "Busy
// Timeout" milliseconds (3000 unless the connection string says otherwise).
class PostgresProvider : public SqlProvider
{
public:
    static constexpr int DefaultPort = 5432;
    static constexpr int DefaultLockTimeoutMs = 3000;

    QString driverName() const override { return QStringLiteral("QPSQL"); }
    Status configure(QSqlDatabase &db, const ConnectionString &connString) override;
    Status prepareSession(QSqlDatabase &db) override;
    Status execute(QSqlDatabase &db, const QString &sql, bool inTransaction) override;
    Status setLockWait(QSqlDatabase &db, bool wait) override;
    QString storedName(const QString &name) const override;

    QList<DbRecord> providerTypes() const override;
    Result<QList<DbRecord>> tables(QSqlDatabase &db) override;

    ErrorInfo statementError(const QSqlError &error) const override;
    ErrorInfo openError(const QSqlError &error) const override;

private:
    int m_lockTimeoutMs = DefaultLockTimeoutMs;
};

// In a Create Table statement, the column name Offset (any case) written as "offset", the
// name it gets anyway when folded, since the bare word is reserved. Quoted text is left alone.
QString quoteReservedColumns(const QString &sql);
