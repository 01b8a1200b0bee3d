#pragma once

#include "RowStatement.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <optional>

// An INSERT (or upsert) as its parts: "INSERT INTO table (columns)", the number of columns,
// and what follows the values ("ON CONFLICT ...", or nothing).
struct InsertText
{
    QString head;
    int columns = 0;
    QString tail;

    QString forRows(int rows) const;
};

// Rows inserted one statement at a time on SQLite, where a statement costs no round trip;
// on PostgreSQL many rows to a statement, where each statement waits for the server's answer
// and one row a statement made a large store take minutes. The rows of one statement must
// not share a key: an upsert may touch a row only once.
class RowInserts
{
public:
    RowInserts(const QSqlDatabase &db, InsertText text);

    template <typename... Values> Status add(const Values &...values)
    {
        if (m_single)
            return m_single->run(values...);
        (m_pending.append(bound(values)), ...);
        return m_pending.size() == RowsAtOnce * m_text.columns ? send() : Status();
    }
    // Sends the rows still waiting.
    Status finish();

    static constexpr int RowsAtOnce = 100;

private:
    static QVariant bound(const QString &text) { return text.isNull() ? QStringLiteral("") : text; }
    static QVariant bound(int value) { return qint64(value); }
    static QVariant bound(qint64 value) { return value; }
    static QVariant bound(double value) { return value; }
    Status send();

    QSqlDatabase m_db;
    InsertText m_text;
    std::optional<RowStatement> m_single; // on SQLite
    std::optional<QSqlQuery> m_full;      // RowsAtOnce rows, prepared once
    QVariantList m_pending;
};
