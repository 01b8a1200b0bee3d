#include "ConnectionString.h"

namespace {

// Reads a quoted value starting at the opening quote; pos ends after the closing quote.
QString readQuoted(const QString &text, qsizetype &pos)
{
    const QChar quote = text.at(pos++);
    QString value;
    while (pos < text.size()) {
        const QChar c = text.at(pos++);
        if (c != quote) {
            value += c;
            continue;
        }
        if (pos < text.size() && text.at(pos) == quote) {
            value += quote;
            ++pos;
            continue;
        }
        break;
    }
    return value;
}

} // namespace

ConnectionString ConnectionString::parse(const QString &text)
{
    ConnectionString result;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype equals = text.indexOf(QLatin1Char('='), pos);
        const qsizetype semicolon = text.indexOf(QLatin1Char(';'), pos);
        if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
            // An element without "=" names nothing; skip it.
            if (semicolon < 0)
                break;
            pos = semicolon + 1;
            continue;
        }
        const QString key = text.mid(pos, equals - pos).trimmed();
        pos = equals + 1;
        while (pos < text.size() && text.at(pos).isSpace())
            ++pos;
        QString value;
        if (pos < text.size() &&
            (text.at(pos) == QLatin1Char('"') || text.at(pos) == QLatin1Char('\''))) {
            value = readQuoted(text, pos);
            const qsizetype end = text.indexOf(QLatin1Char(';'), pos);
            pos = end < 0 ? text.size() : end + 1;
        } else {
            const qsizetype end = text.indexOf(QLatin1Char(';'), pos);
            value = text.mid(pos, end < 0 ? -1 : end - pos).trimmed();
            pos = end < 0 ? text.size() : end + 1;
        }
        if (!key.isEmpty())
            result.m_elements.append({key, value});
    }
    return result;
}

const std::pair<QString, QString> *ConnectionString::find(const QString &key) const
{
    for (auto it = m_elements.crbegin(); it != m_elements.crend(); ++it) {
        if (it->first.compare(key, Qt::CaseInsensitive) == 0)
            return &*it;
    }
    return nullptr;
}

bool ConnectionString::contains(const QString &key) const
{
    return find(key) != nullptr;
}

QString ConnectionString::value(const QString &key) const
{
    const auto *element = find(key);
    return element ? element->second : QString();
}

QString ConnectionString::valueOf(std::initializer_list<QString> keys) const
{
    for (const QString &key : keys) {
        if (const auto *element = find(key))
            return element->second;
    }
    return QString();
}
