#pragma once

#include "ConnectionString.h"
#include "DbConnection.h"

#include <QSqlDatabase>
#include <QSqlError>

#include <memory>

// What differs between the database engines behind the connection layer: how the connection
// string becomes a Qt SQL handle, how transactions and statements run, which types and tables
// the engine reports, and how its errors become the layer's numbers (DbErrors.h).
class SqlProvider
{
public:
    virtual ~SqlProvider() = default;

    virtual QString driverName() const = 0;
    // Fills the handle from the connection string before it is opened; refuses what cannot
    // work, such as a database file that does not exist.
    virtual Status configure(QSqlDatabase &db, const ConnectionString &connString) = 0;
    // Session settings, right after the open.
    virtual Status prepareSession(QSqlDatabase &db);

    virtual Status begin(QSqlDatabase &db);
    virtual Status commit(QSqlDatabase &db);
    virtual Status rollback(QSqlDatabase &db);
    virtual Status execute(QSqlDatabase &db, const QString &sql, bool inTransaction);
    // Waiting for locks held elsewhere as configured, or not at all (DbConnection::setLockWait).
    virtual Status setLockWait(QSqlDatabase &db, bool wait);

    // The name the engine keeps for an unquoted name (DbConnection::storedTableName).
    virtual QString storedName(const QString &name) const { return name; }

    // TYPE_NAME, DATA_TYPE, BEST_MATCH, IS_LONG rows in the provider's fixed order.
    virtual QList<DbRecord> providerTypes() const = 0;
    // TABLE_NAME, TABLE_TYPE rows.
    virtual Result<QList<DbRecord>> tables(QSqlDatabase &db) = 0;

    virtual ErrorInfo statementError(const QSqlError &error) const = 0;
    virtual ErrorInfo openError(const QSqlError &error) const;

protected:
    // Runs one statement, dropping its rows; failures in the provider's terms.
    Status run(QSqlDatabase &db, const QString &sql) const;
    // Runs a query and reads the named columns of every row into records.
    Result<QList<DbRecord>> select(QSqlDatabase &db, const QString &sql,
                                   const QStringList &columns) const;
};

// The provider named by a connection string's Provider value, or nullptr when there is none
// by that name.
std::unique_ptr<SqlProvider> makeSqlProvider(const QString &providerName);

// The text an engine gave for a failure, on one line.
QString engineText(const QSqlError &error);

// One provider type as the provider types record set lists it.
struct ProviderType
{
    const char *typeName;
    int dataType;
    bool bestMatch;
    bool isLong;
};
QList<DbRecord> providerTypeRecords(std::initializer_list<ProviderType> types);
