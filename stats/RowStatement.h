#pragma once

#include "platform/Result.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <optional>

struct sqlite3_stmt;

// One writing statement run for many rows, its values bound by position. On SQLite it binds
// through the engine's own interface: Qt's binding builds a placeholder name for every value
// bound, which cost more than the engine's upsert of the row.
class RowStatement
{
public:
    RowStatement(const QSqlDatabase &db, const QString &sql);
    ~RowStatement();
    RowStatement(const RowStatement &) = delete;
    RowStatement &operator=(const RowStatement &) = delete;

    // Binds the values in order and runs the statement once.
    template <typename... Values> Status run(const Values &...values)
    {
        if (!m_prepared)
            return m_prepared;
        int at = 0;
        (bind(at++, values), ...);
        return exec();
    }

private:
    void bind(int at, qint64 value);
    void bind(int at, int value) { bind(at, qint64(value)); }
    void bind(int at, double value);
    void bind(int at, const QString &value); // a null text is the empty text
    Status exec();

    sqlite3_stmt *m_statement = nullptr;
    std::optional<QSqlQuery> m_query; // on any other engine
    Status m_prepared;
};
