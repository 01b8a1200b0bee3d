#include "ConnectionString.h"

namespace {

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

ConnectionString ConnectionString::parse(const QString &text)
{
    ConnectionString result;
    result.m_elements = connectionstring::ConnectionElements::parse(text.toStdString());
    return result;
}

bool ConnectionString::contains(const QString &key) const
{
    return m_elements.contains(key.toStdString());
}

QString ConnectionString::value(const QString &key) const
{
    return fromUtf8(m_elements.value(key.toStdString()));
}

QString ConnectionString::valueOf(std::initializer_list<QString> keys) const
{
    for (const QString &key : keys) {
        if (const auto *element = m_elements.find(key.toStdString()))
            return fromUtf8(element->value);
    }
    return QString();
}
