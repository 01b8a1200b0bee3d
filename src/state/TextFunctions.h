#pragma once

#include <QString>

// The small text functions shared by start-up, activation and the editing commands.

// "con" followed by N in decimal, the key of connection N's list row.
QString ConnKey(qint32 n);

// N from a key such as "con12"; 0 when the text after "con" does not start with a digit.
qint32 ConnNumber(const QString &key);

// Removes the connection string segment that starts with marker (which begins with ";"),
// keeping the ";" that opened it: "A;Persist Security Info=False" -> "A;".
QString StripSegment(const QString &text, const QString &marker);

// The value of the ";Data Source=" element; "" when there is none.
QString DataSourceOf(const QString &connString);
