#pragma once

#include "platform/Result.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <optional>
#include <vector>

using Row = QVariantList;

// Runs one parameterised statement on a page connection, within the query time limit, and
// returns its rows. Values are only ever bound, never written into the text.
Result<QList<Row>> selectRows(const QSqlDatabase &db, const QString &sql,
                              const QVariantList &values = {});

// The first column of every row, as numbers; for lists too long to hold as rows.
Result<std::vector<qint64>> selectNumbers(const QSqlDatabase &db, const QString &sql,
                                          const QVariantList &values = {});

// One statement prepared once and run again and again with new values: the standings writer
// asks the same few questions of every player and game it meets, and preparing them anew
// cost more than their answers. A failed run prepares it again the next time.
class RepeatedSelect
{
public:
    RepeatedSelect(const QSqlDatabase &db, QString sql);
    Result<QList<Row>> rows(const QVariantList &values);

private:
    QSqlDatabase m_db;
    QString m_sql;
    std::optional<QSqlQuery> m_query;
};
