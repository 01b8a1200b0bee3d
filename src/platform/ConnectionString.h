#pragma once

#include "connectionstring/ConnectionElements.h"

#include <QString>

#include <initializer_list>

// A connection string read the way the database providers read it, for the program's QString
// texts. The reading itself is the one Ledgerwell uses (ConnectionElements), so the program
// and the component it hands the string to find the same database in it.
class ConnectionString
{
public:
    static ConnectionString parse(const QString &text);

    bool contains(const QString &key) const;
    // The value of key, or "" when the string has no such element.
    QString value(const QString &key) const;
    // The first of the keys that is present, or "".
    QString valueOf(std::initializer_list<QString> keys) const;

private:
    connectionstring::ConnectionElements m_elements;
};
