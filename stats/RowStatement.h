#pragma once

#include "platform/Result.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <functional>
#include <optional>

struct sqlite3_stmt;

// One statement run for many rows, its values bound by position, and read by column. On SQLite
// it binds and reads through the engine's own interface: Qt's binding builds a placeholder
// name for every value bound, which cost more than the engine's upsert of the row, and its
// reading makes a QVariant of every value.
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
        return exec({});
    }

    // The same, handing every row the statement returns to `take`, which reads its columns.
    template <typename... Values>
    Status each(const std::function<void()> &take, const Values &...values)
    {
        if (!m_prepared)
            return m_prepared;
        int at = 0;
        (bind(at++, values), ...);
        return exec(take);
    }
    qint64 integer(int column) const;
    double real(int column) const;
    bool isNull(int column) const;

private:
    void bind(int at, qint64 value);
    void bind(int at, int value) { bind(at, qint64(value)); }
    void bind(int at, double value);
    void bind(int at, const QString &value); // a null text is the empty text
    Status exec(const std::function<void()> &take);

    sqlite3_stmt *m_statement = nullptr;
    std::optional<QSqlQuery> m_query; // on any other engine
    Status m_prepared;
};
