#pragma once

#include "platform/Result.h"

#include <QList>
#include <QSqlDatabase>
#include <QVariant>

using Row = QVariantList;

// Runs one parameterised statement on a page connection, within the query time limit, and
// returns its rows. Values are only ever bound, never written into the text.
Result<QList<Row>> selectRows(const QSqlDatabase &db, const QString &sql,
                              const QVariantList &values = {});
