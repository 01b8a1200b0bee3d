#pragma once

#include "platform/Result.h"

#include <QList>
#include <QSqlDatabase>
#include <QVariant>

#include <vector>

using Row = QVariantList;

// A value as bound: a null text is the empty text (scope "" is no NULL).
QVariant boundValue(const QVariant &value);

// Runs one parameterised statement on a page connection, within the query time limit, and
// returns its rows. Values are only ever bound, never written into the text.
Result<QList<Row>> selectRows(const QSqlDatabase &db, const QString &sql,
                              const QVariantList &values = {});

// The first column of every row, as numbers; for lists too long to hold as rows.
Result<std::vector<qint64>> selectNumbers(const QSqlDatabase &db, const QString &sql,
                                          const QVariantList &values = {});
