#include "SqlRows.h"

#include "StatsConnection.h"
#include "platform/SqlProvider.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

QVariant boundValue(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString && value.toString().isNull())
        return QStringLiteral("");
    return value;
}

namespace {

// Prepares, binds and runs one statement within the query time limit.
Status execute(const QSqlDatabase &db, QSqlQuery &query, const QString &sql,
               const QVariantList &values)
{
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return ErrorInfo{0, engineText(query.lastError())};
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, boundValue(values.at(i)));
    startQueryClock(db);
    if (!query.exec())
        return ErrorInfo{0, engineText(query.lastError())};
    return {};
}

// Every row of a query that ran.
QList<Row> takeRows(QSqlQuery &query)
{
    QList<Row> rows;
    const int columns = query.record().count();
    while (query.next()) {
        Row row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << query.value(c);
        rows << row;
    }
    return rows;
}

} // namespace

Result<QList<Row>> selectRows(const QSqlDatabase &db, const QString &sql,
                              const QVariantList &values)
{
    QSqlQuery query(db);
    if (const Status ran = execute(db, query, sql, values); !ran)
        return ran.error();
    return takeRows(query);
}

Status forEachRow(const QSqlDatabase &db, const QString &sql, const QVariantList &values,
                  const std::function<void(const QSqlQuery &)> &take)
{
    QSqlQuery query(db);
    if (const Status ran = execute(db, query, sql, values); !ran)
        return ran;
    while (query.next())
        take(query);
    if (query.lastError().isValid())
        return ErrorInfo{0, engineText(query.lastError())};
    return {};
}

RepeatedSelect::RepeatedSelect(const QSqlDatabase &db, QString sql)
    : m_db(db)
    , m_sql(std::move(sql))
{
}

Result<QList<Row>> RepeatedSelect::rows(const QVariantList &values)
{
    if (!m_query) {
        m_query.emplace(m_db);
        m_query->setForwardOnly(true);
        if (!m_query->prepare(m_sql)) {
            const ErrorInfo error{0, engineText(m_query->lastError())};
            m_query.reset();
            return error;
        }
    }
    for (int i = 0; i < values.size(); ++i)
        m_query->bindValue(i, boundValue(values.at(i)));
    startQueryClock(m_db);
    if (!m_query->exec()) {
        const ErrorInfo error{0, engineText(m_query->lastError())};
        m_query.reset();
        return error;
    }
    QList<Row> rows = takeRows(*m_query);
    // Done with, so it holds no snapshot of the database until it runs again.
    m_query->finish();
    return rows;
}

Result<std::vector<qint64>> selectNumbers(const QSqlDatabase &db, const QString &sql,
                                          const QVariantList &values)
{
    QSqlQuery query(db);
    if (const Status ran = execute(db, query, sql, values); !ran)
        return ran.error();
    std::vector<qint64> numbers;
    while (query.next())
        numbers.push_back(query.value(0).toLongLong());
    // A query stopped by the time limit ends its rows early: that is no whole list.
    if (query.lastError().isValid())
        return ErrorInfo{0, engineText(query.lastError())};
    return numbers;
}
