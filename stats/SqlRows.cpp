#include "SqlRows.h"

#include "StatsConnection.h"
#include "platform/SqlProvider.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <functional>

namespace {

// A value as bound: a null text is the empty text (scope "" is no NULL).
QVariant boundValue(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString && value.toString().isNull())
        return QStringLiteral("");
    return value;
}

Status prepareQuery(QSqlQuery &query, const QString &sql)
{
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return ErrorInfo{0, engineText(query.lastError())};
    return {};
}

// Binds and runs a prepared statement within the query time limit.
Status run(const QSqlDatabase &db, QSqlQuery &query, const QVariantList &values)
{
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, boundValue(values.at(i)));
    startQueryClock(db);
    if (!query.exec())
        return ErrorInfo{0, engineText(query.lastError())};
    return {};
}

Status execute(const QSqlDatabase &db, QSqlQuery &query, const QString &sql,
               const QVariantList &values)
{
    if (const Status prepared = prepareQuery(query, sql); !prepared)
        return prepared;
    return run(db, query, values);
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

// Hands every row to `take` as it is read, without making rows of values.
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

} // namespace

Result<QList<Row>> selectRows(const QSqlDatabase &db, const QString &sql,
                              const QVariantList &values)
{
    QSqlQuery query(db);
    if (const Status ran = execute(db, query, sql, values); !ran)
        return ran.error();
    return takeRows(query);
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
        if (const Status prepared = prepareQuery(*m_query, m_sql); !prepared) {
            m_query.reset();
            return prepared.error();
        }
    }
    if (const Status ran = run(m_db, *m_query, values); !ran) {
        m_query.reset();
        return ran.error();
    }
    QList<Row> rows = takeRows(*m_query);
    // Done with, so it holds no snapshot of the database until it runs again.
    m_query->finish();
    return rows;
}

Result<std::vector<qint64>> selectNumbers(const QSqlDatabase &db, const QString &sql,
                                          const QVariantList &values)
{
    std::vector<qint64> numbers;
    // A query stopped by the time limit ends its rows early: that is no whole list.
    const Status read = forEachRow(db, sql, values, [&numbers](const QSqlQuery &row) {
        numbers.push_back(row.value(0).toLongLong());
    });
    if (!read)
        return read.error();
    return numbers;
}
