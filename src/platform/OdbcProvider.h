#pragma once

#include "SqlProvider.h"

// An ODBC data source: Data Source is the DSN, User ID and "User Password" or "Password" its
// credentials. Transactions use the driver's own commit mode, since ODBC drivers differ in
// the statements they accept for it.
class OdbcProvider : public SqlProvider
{
public:
    QString driverName() const override { return QStringLiteral("QODBC"); }
    Status configure(QSqlDatabase &db, const ConnectionString &connString) override;

    Status begin(QSqlDatabase &db) override;
    Status commit(QSqlDatabase &db) override;
    Status rollback(QSqlDatabase &db) override;

    QList<DbRecord> providerTypes() const override;
    Result<QList<DbRecord>> tables(QSqlDatabase &db) override;

    ErrorInfo statementError(const QSqlError &error) const override;
    ErrorInfo openError(const QSqlError &error) const override;

private:
    QString m_dataSource;
};
