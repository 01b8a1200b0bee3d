#include "DbConnection.h"

#include "DbErrors.h"

void DbRecord::set(const QString &name, const QVariant &value)
{
    for (auto &field : m_fields) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0) {
            field.second = value;
            return;
        }
    }
    m_fields.append({name, value});
}

Result<QVariant> DbRecord::field(const QString &name) const
{
    for (const auto &field : m_fields) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return field.second;
    }
    return DbErrors::itemNotFound(name);
}
