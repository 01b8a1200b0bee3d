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

} // namespace

Result<QList<Row>> selectRows(const QSqlDatabase &db, const QString &sql,
                              const QVariantList &values)
{
    QSqlQuery query(db);
    if (const Status ran = execute(db, query, sql, values); !ran)
        return ran.error();
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
