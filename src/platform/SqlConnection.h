#pragma once

#include "DbConnection.h"

#include <QSqlDatabase>

#include <memory>

class SqlProvider;

// The connection object over Qt SQL. The connection string's Provider picks the engine:
// "Microsoft.Jet.OLEDB.3.51", "Microsoft.Jet.OLEDB.4.0" and "SQLite" the embedded engine,
// "PostgreSQL" a server, "MSDASQL" an ODBC data source (see the providers' headers for their
// keys). Each open uses a Qt SQL connection of its own, removed again when it closes.
class SqlConnection final : public DbConnection
{
public:
    SqlConnection();
    ~SqlConnection() override;
    SqlConnection(const SqlConnection &) = delete;
    SqlConnection &operator=(const SqlConnection &) = delete;

    Status Open(const QString &connString) override;
    Status Close() override;
    Status BeginTrans() override;
    Status CommitTrans() override;
    Status RollbackTrans() override;
    Status Execute(const QString &sql) override;
    Result<QList<DbRecord>> OpenSchema(SchemaKind kind) override;
    Status setLockWait(bool wait) override;
    QString storedTableName(const QString &name) const override;

    // The Qt SQL connection name while open, "" while closed.
    QString connectionName() const { return m_connectionName; }

private:
    void release();

    std::unique_ptr<SqlProvider> m_provider;
    QString m_connectionName;
    QSqlDatabase m_db;
    bool m_open = false;
    bool m_inTransaction = false;
};

// The factory the program uses: a new, closed SqlConnection.
std::unique_ptr<DbConnection> newSqlConnection();
