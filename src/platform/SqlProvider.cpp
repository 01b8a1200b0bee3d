#include "SqlProvider.h"

#include "DbErrors.h"
#include "OdbcProvider.h"
#include "PostgresProvider.h"
#include "SqliteProvider.h"

#include <QSqlQuery>
#include <QSqlRecord>

Status SqlProvider::prepareSession(QSqlDatabase &)
{
    return {};
}

Status SqlProvider::begin(QSqlDatabase &db)
{
    return run(db, QStringLiteral("BEGIN"));
}

Status SqlProvider::commit(QSqlDatabase &db)
{
    return run(db, QStringLiteral("COMMIT"));
}

Status SqlProvider::rollback(QSqlDatabase &db)
{
    return run(db, QStringLiteral("ROLLBACK"));
}

Status SqlProvider::execute(QSqlDatabase &db, const QString &sql, bool)
{
    return run(db, sql);
}

Status SqlProvider::setLockWait(QSqlDatabase &, bool)
{
    return {};
}

ErrorInfo SqlProvider::openError(const QSqlError &error) const
{
    return DbErrors::openFailed(engineText(error));
}

Status SqlProvider::run(QSqlDatabase &db, const QString &sql) const
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        return statementError(query.lastError());
    return {};
}

Result<QList<DbRecord>> SqlProvider::select(QSqlDatabase &db, const QString &sql,
                                            const QStringList &columns) const
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(sql))
        return statementError(query.lastError());
    QList<DbRecord> rows;
    while (query.next()) {
        DbRecord row;
        for (int i = 0; i < columns.size(); ++i)
            row.set(columns.at(i), query.value(i));
        rows.append(row);
    }
    if (query.lastError().isValid())
        return statementError(query.lastError());
    return rows;
}

std::unique_ptr<SqlProvider> makeSqlProvider(const QString &providerName)
{
    const auto is = [&](const char *name) {
        return providerName.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    // The embedded engine stands in for the desktop file databases of connection files
    // written elsewhere.
    if (is("Microsoft.Jet.OLEDB.3.51") || is("Microsoft.Jet.OLEDB.4.0") || is("SQLite"))
        return std::make_unique<SqliteProvider>();
    if (is("PostgreSQL"))
        return std::make_unique<PostgresProvider>();
    if (is("MSDASQL") || is("MSDASQL.1"))
        return std::make_unique<OdbcProvider>();
    return nullptr;
}

QString engineText(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    return text.simplified();
}

QList<DbRecord> providerTypeRecords(std::initializer_list<ProviderType> types)
{
    QList<DbRecord> rows;
    for (const ProviderType &type : types) {
        rows.append(DbRecord{{QStringLiteral("TYPE_NAME"), QString::fromLatin1(type.typeName)},
                             {QStringLiteral("DATA_TYPE"), type.dataType},
                             {QStringLiteral("BEST_MATCH"), type.bestMatch},
                             {QStringLiteral("IS_LONG"), type.isLong}});
    }
    return rows;
}
