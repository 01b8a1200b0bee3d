#pragma once

#include "platform/Result.h"

#include <QList>
#include <QString>

// Texts that start-up shows.
namespace StartupMessages {

QString failureTitle(); // "Error: Can not locate Application Path"
// The three lines of the start-up failure message; `detail` is inserted after
// "Can't locate program path " and says what went wrong where.
QString failureText(const QString &detail);
// Whom the message sends the operator to, at the end of its second line.
QString supportContact();

// Connections beyond the highest connection number are left out of the list.
QString tooManyTitle();
QString tooManyText(const QList<qint32> &ports, qint32 maxCon);

// The notice line shown when the window appears.
QString notice(const QList<quint16> &receivingPorts, int connections);

} // namespace StartupMessages
