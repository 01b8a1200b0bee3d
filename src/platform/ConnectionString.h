#pragma once

#include <QList>
#include <QString>

#include <utility>

// A connection string read the way the database providers read it: elements key=value
// separated by ";", keys without regard to case or surrounding blanks, values trimmed unless
// quoted with " or ' (a doubled quote stands for itself), the last of repeated keys winning.
class ConnectionString
{
public:
    static ConnectionString parse(const QString &text);

    bool contains(const QString &key) const;
    // The value of key, or "" when the string has no such element.
    QString value(const QString &key) const;
    // The first of the keys that is present, or "".
    QString valueOf(std::initializer_list<QString> keys) const;

    const QList<std::pair<QString, QString>> &elements() const { return m_elements; }

private:
    const std::pair<QString, QString> *find(const QString &key) const;

    QList<std::pair<QString, QString>> m_elements;
};
