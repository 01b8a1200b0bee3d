#include "RowStatement.h"

#include "StatsConnection.h"
#include "platform/SqlProvider.h"

#include <QSqlError>

#include <sqlite3.h>

namespace {

ErrorInfo engineError(sqlite3_stmt *statement)
{
    return ErrorInfo{0, QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(statement)))};
}

} // namespace

RowStatement::RowStatement(const QSqlDatabase &db, const QString &sql)
{
    if (sqlite3 *handle = sqliteHandle(db)) {
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &m_statement, nullptr) !=
            SQLITE_OK) {
            m_prepared = ErrorInfo{0, QString::fromUtf8(sqlite3_errmsg(handle))};
            sqlite3_finalize(m_statement);
            m_statement = nullptr;
        }
        return;
    }
    m_query.emplace(db);
    if (!m_query->prepare(sql))
        m_prepared = ErrorInfo{0, engineText(m_query->lastError())};
}

RowStatement::~RowStatement()
{
    sqlite3_finalize(m_statement);
}

void RowStatement::bind(int at, qint64 value)
{
    if (m_statement)
        sqlite3_bind_int64(m_statement, at + 1, value);
    else
        m_query->bindValue(at, value);
}

void RowStatement::bind(int at, double value)
{
    if (m_statement)
        sqlite3_bind_double(m_statement, at + 1, value);
    else
        m_query->bindValue(at, value);
}

void RowStatement::bind(int at, const QString &value)
{
    if (m_statement)
        sqlite3_bind_text16(m_statement, at + 1,
                            value.isNull() ? static_cast<const void *>(u"") : value.utf16(),
                            int(value.size() * sizeof(char16_t)), SQLITE_TRANSIENT);
    else
        m_query->bindValue(at, value.isNull() ? QStringLiteral("") : value);
}

Status RowStatement::exec(const std::function<void()> &take)
{
    if (!m_statement) {
        m_query->setForwardOnly(true);
        if (!m_query->exec())
            return ErrorInfo{0, engineText(m_query->lastError())};
        while (take && m_query->next())
            take();
        if (m_query->lastError().isValid())
            return ErrorInfo{0, engineText(m_query->lastError())};
        return {};
    }
    int stepped = sqlite3_step(m_statement);
    for (; stepped == SQLITE_ROW; stepped = sqlite3_step(m_statement)) {
        if (take)
            take();
    }
    const Status ran = stepped == SQLITE_DONE ? Status() : Status(engineError(m_statement));
    sqlite3_reset(m_statement);
    return ran;
}

qint64 RowStatement::integer(int column) const
{
    return m_statement ? sqlite3_column_int64(m_statement, column)
                       : m_query->value(column).toLongLong();
}

double RowStatement::real(int column) const
{
    return m_statement ? sqlite3_column_double(m_statement, column)
                       : m_query->value(column).toDouble();
}

bool RowStatement::isNull(int column) const
{
    return m_statement ? sqlite3_column_type(m_statement, column) == SQLITE_NULL
                       : m_query->isNull(column);
}
