#include "RowInserts.h"

#include "StatsConnection.h"
#include "platform/SqlProvider.h"

#include <QSqlError>
#include <QStringList>

QString InsertText::forRows(int rows) const
{
    const QString row = QLatin1Char('(') +
                        QStringList(columns, QStringLiteral("?")).join(QStringLiteral(", ")) +
                        QLatin1Char(')');
    return head + QStringLiteral(" VALUES ") + QStringList(rows, row).join(QStringLiteral(", ")) +
           tail;
}

RowInserts::RowInserts(const QSqlDatabase &db, InsertText text)
    : m_db(db)
    , m_text(std::move(text))
{
    if (dialectOf(db) == Dialect::Sqlite)
        m_single.emplace(db, m_text.forRows(1));
}

Status RowInserts::send()
{
    const int rows = int(m_pending.size() / m_text.columns);
    std::optional<QSqlQuery> partial;
    if (rows == RowsAtOnce && !m_full) {
        m_full.emplace(m_db);
        if (!m_full->prepare(m_text.forRows(rows))) {
            const ErrorInfo error{0, engineText(m_full->lastError())};
            m_full.reset();
            return error;
        }
    }
    if (rows != RowsAtOnce) {
        partial.emplace(m_db);
        if (!partial->prepare(m_text.forRows(rows)))
            return ErrorInfo{0, engineText(partial->lastError())};
    }
    QSqlQuery &query = rows == RowsAtOnce ? *m_full : *partial;
    for (int i = 0; i < m_pending.size(); ++i)
        query.bindValue(i, m_pending.at(i));
    m_pending.clear();
    if (!query.exec())
        return ErrorInfo{0, engineText(query.lastError())};
    return {};
}

Status RowInserts::finish()
{
    return m_pending.isEmpty() ? Status() : send();
}
