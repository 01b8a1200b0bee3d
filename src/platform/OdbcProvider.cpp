#include "OdbcProvider.h"

#include "DbErrors.h"

Status OdbcProvider::configure(QSqlDatabase &db, const ConnectionString &connString)
{
    const QString dsn = connString.value(QStringLiteral("Data Source"));
    if (dsn.isEmpty())
        return DbErrors::openFailed(QStringLiteral("No ODBC data source is named (Data Source)."));
    m_dataSource = dsn;
    db.setDatabaseName(dsn);
    db.setUserName(connString.value(QStringLiteral("User ID")));
    db.setPassword(
        connString.valueOf({QStringLiteral("User Password"), QStringLiteral("Password")}));
    return {};
}

Status OdbcProvider::begin(QSqlDatabase &db)
{
    if (!db.transaction())
        return statementError(db.lastError());
    return {};
}

Status OdbcProvider::commit(QSqlDatabase &db)
{
    if (!db.commit())
        return statementError(db.lastError());
    return {};
}

Status OdbcProvider::rollback(QSqlDatabase &db)
{
    if (!db.rollback())
        return statementError(db.lastError());
    return {};
}

QList<DbRecord> OdbcProvider::providerTypes() const
{
    // The driver's own type list is not reachable through Qt; these are the standard SQL names
    // most drivers accept.
    return providerTypeRecords({
        {"SMALLINT", 2, true, false},
        {"INTEGER", 3, true, false},
        {"REAL", 4, true, false},
        {"DOUBLE PRECISION", 5, true, false},
        {"TIMESTAMP", 135, true, false},
        {"CHAR", 129, false, false},
        {"VARCHAR", 129, true, false},
        {"LONGVARBINARY", 128, false, true},
    });
}

Result<QList<DbRecord>> OdbcProvider::tables(QSqlDatabase &db)
{
    QList<DbRecord> rows;
    const std::pair<QSql::TableType, const char *> kinds[] = {
        {QSql::Tables, "TABLE"}, {QSql::Views, "VIEW"}, {QSql::SystemTables, "SYSTEM TABLE"}};
    for (const auto &[kind, typeName] : kinds) {
        for (const QString &name : db.tables(kind)) {
            rows.append(DbRecord{{QStringLiteral("TABLE_NAME"), name},
                                 {QStringLiteral("TABLE_TYPE"), QString::fromLatin1(typeName)}});
        }
    }
    return rows;
}

ErrorInfo OdbcProvider::statementError(const QSqlError &error) const
{
    // Drivers word their errors differently; the SQLSTATEs below are the standard ones.
    const QString states = error.nativeErrorCode();
    const QString text = engineText(error);
    if (states.contains(QLatin1String("HYT00")) || states.contains(QLatin1String("40001")) ||
        text.contains(QLatin1String("locked")))
        return DbErrors::locked(text);
    if (states.contains(QLatin1String("42S01")) || states.contains(QLatin1String("23505")) ||
        (states.contains(QLatin1String("23000")) &&
         (text.contains(QLatin1String("duplicate"), Qt::CaseInsensitive) ||
          text.contains(QLatin1String("unique"), Qt::CaseInsensitive))))
        return DbErrors::duplicate(text);
    return DbErrors::commandFailed(text);
}

ErrorInfo OdbcProvider::openError(const QSqlError &error) const
{
    // The driver manager's text does not say which data source it looked for.
    return DbErrors::openFailed(engineText(error) +
                                QStringLiteral(" (Data Source=%1)").arg(m_dataSource));
}
