#include "SqlConnection.h"

#include "ConnectionString.h"
#include "DbErrors.h"
#include "SqlProvider.h"

#include <QUuid>

SqlConnection::SqlConnection() = default;

SqlConnection::~SqlConnection()
{
    release();
}

Status SqlConnection::Open(const QString &connString)
{
    if (m_open)
        return DbErrors::objectOpen();
    const ConnectionString elements = ConnectionString::parse(connString);
    const QString providerName = elements.value(QStringLiteral("Provider"));
    if (providerName.isEmpty()) {
        return ErrorInfo{DbErrors::ProviderNotFound,
                         QStringLiteral("Provider cannot be found: the connection string names "
                                        "no Provider.")};
    }
    m_provider = makeSqlProvider(providerName);
    if (!m_provider) {
        return ErrorInfo{DbErrors::ProviderNotFound,
                         QStringLiteral("Provider cannot be found. It may not be properly "
                                        "installed. (Provider=%1)")
                             .arg(providerName)};
    }
    const QString driver = m_provider->driverName();
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        m_provider.reset();
        return ErrorInfo{DbErrors::ProviderNotFound,
                         QStringLiteral("Provider cannot be found. The Qt SQL driver %1 for "
                                        "Provider=%2 is not installed.")
                             .arg(driver, providerName)};
    }

    m_connectionName =
        QStringLiteral("varnock-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_db = QSqlDatabase::addDatabase(driver, m_connectionName);
    Status done = m_provider->configure(m_db, elements);
    if (done && !m_db.open())
        done = m_provider->openError(m_db.lastError());
    if (done)
        done = m_provider->prepareSession(m_db);
    if (!done) {
        release();
        return done;
    }
    m_open = true;
    return {};
}

Status SqlConnection::Close()
{
    if (!m_open)
        return DbErrors::objectClosed();
    release();
    return {};
}

void SqlConnection::release()
{
    if (m_connectionName.isEmpty())
        return;
    if (m_inTransaction && m_db.isOpen())
        m_provider->rollback(m_db); // never committed: closing discards it
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
    m_connectionName.clear();
    m_provider.reset();
    m_open = false;
    m_inTransaction = false;
}

Status SqlConnection::BeginTrans()
{
    if (!m_open)
        return DbErrors::objectClosed();
    const Status done = m_provider->begin(m_db);
    if (done)
        m_inTransaction = true;
    return done;
}

Status SqlConnection::CommitTrans()
{
    if (!m_open)
        return DbErrors::objectClosed();
    if (!m_inTransaction)
        return DbErrors::noTransaction();
    const Status done = m_provider->commit(m_db);
    if (done)
        m_inTransaction = false;
    return done;
}

Status SqlConnection::RollbackTrans()
{
    if (!m_open)
        return DbErrors::objectClosed();
    if (!m_inTransaction)
        return DbErrors::noTransaction();
    const Status done = m_provider->rollback(m_db);
    if (done)
        m_inTransaction = false;
    return done;
}

Status SqlConnection::Execute(const QString &sql)
{
    if (!m_open)
        return DbErrors::objectClosed();
    return m_provider->execute(m_db, sql, m_inTransaction);
}

Result<QList<DbRecord>> SqlConnection::OpenSchema(SchemaKind kind)
{
    if (!m_open)
        return DbErrors::objectClosed();
    switch (kind) {
    case SchemaKind::ProviderTypes:
        return m_provider->providerTypes();
    case SchemaKind::Tables:
        return m_provider->tables(m_db);
    }
    return ErrorInfo{DbErrors::NotCapable,
                     QStringLiteral("Object or provider is not capable of performing requested "
                                    "operation.")};
}

Status SqlConnection::setLockWait(bool wait)
{
    if (!m_open)
        return DbErrors::objectClosed();
    return m_provider->setLockWait(m_db, wait);
}

QString SqlConnection::storedTableName(const QString &name) const
{
    return m_provider ? m_provider->storedName(name) : name;
}

std::unique_ptr<DbConnection> newSqlConnection()
{
    return std::make_unique<SqlConnection>();
}
