#pragma once

#include "platform/Result.h"

#include <QString>

class OperatorInteraction;

// The two messages that report a connection that could not be activated. Both carry the
// title connectFailureTitle(), the OK button only and no icon; port and database are the
// row's Port and Database column texts as they stand when the message is shown.

QString connectFailureTitle();

// Opening the database, reading its schema or anything else in the database step failed.
QString databaseFailureText(const ErrorInfo &error, const QString &database, const QString &port);

// Loading, binding (or closing) the connection's socket failed.
QString socketFailureText(const ErrorInfo &error, const QString &port);

void showDatabaseFailure(OperatorInteraction &op, const ErrorInfo &error, const QString &database,
                         const QString &port);
void showSocketFailure(OperatorInteraction &op, const ErrorInfo &error, const QString &port);
