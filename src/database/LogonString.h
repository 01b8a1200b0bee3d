#pragma once

#include <QString>

// The connection string the logon test opens: connString with ";Persist Security Info="
// ensured ("False" when it is added) and the typed user name and password set as
// ";User ID=" and ";User Password=" (an empty text leaves its element alone). A missing
// element goes in right after Persist Security Info, or right after a User ID whose value
// was exchanged; an existing one has its value exchanged in place.
QString logonString(const QString &connString, const QString &user, const QString &password);
