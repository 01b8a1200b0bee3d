#include "LogonString.h"

namespace {

// The index where the element that starts at start ends: its closing ";" or the end.
qsizetype elementEnd(const QString &s, qsizetype start)
{
    const qsizetype next = s.indexOf(QLatin1Char(';'), start + 1);
    return next < 0 ? s.size() : next;
}

// Sets marker's value to value: exchanged in place when the element exists (the insertion
// point then follows it), otherwise inserted at the insertion point, which stays.
void setElement(QString &s, qsizetype &insertAt, const QString &marker, const QString &value)
{
    const qsizetype found = s.indexOf(marker);
    if (found < 0) {
        s.insert(insertAt, marker + value);
        return;
    }
    const qsizetype valueStart = found + marker.size();
    const qsizetype next = s.indexOf(QLatin1Char(';'), valueStart);
    const qsizetype valueEnd = next < 0 ? s.size() : next;
    s.replace(valueStart, valueEnd - valueStart, value);
    insertAt = valueStart + value.size();
}

} // namespace

QString logonString(const QString &connString, const QString &user, const QString &password)
{
    const QString persist = QStringLiteral(";Persist Security Info=");
    QString s = connString;
    qsizetype insertAt = 0;

    const qsizetype found = s.indexOf(persist);
    if (found >= 0) {
        insertAt = elementEnd(s, found);
    } else {
        const QString added = persist + QStringLiteral("False");
        const qsizetype firstSemicolon = s.indexOf(QLatin1Char(';'));
        if (firstSemicolon >= 0) {
            s.insert(firstSemicolon, added);
            insertAt = elementEnd(s, firstSemicolon);
        } else {
            s += added;
            insertAt = s.size();
        }
    }

    if (!user.isEmpty())
        setElement(s, insertAt, QStringLiteral(";User ID="), user);
    if (!password.isEmpty())
        setElement(s, insertAt, QStringLiteral(";User Password="), password);
    return s;
}
