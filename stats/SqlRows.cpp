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

Result<QList<Row>> selectRows(const QSqlDatabase &db, const QString &sql,
                              const QVariantList &values)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return ErrorInfo{0, engineText(query.lastError())};
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, boundValue(values.at(i)));
    startQueryClock(db);
    if (!query.exec())
        return ErrorInfo{0, engineText(query.lastError())};
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
