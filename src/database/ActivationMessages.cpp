#include "ActivationMessages.h"

#include "platform/OperatorInteraction.h"

namespace {

const QLatin1String LineBreak("\r\n");

QString errorPrefix(const ErrorInfo &error)
{
    return QStringLiteral("Error # ") + QString::number(error.number) + QLatin1Char(':') +
           error.description;
}

QString adviceLine(const QString &port)
{
    return QStringLiteral("Best solution is to delete the connection to port ") + port +
           QStringLiteral(" and create a new connection for that port.");
}

} // namespace

QString connectFailureTitle()
{
    return QStringLiteral("Error: Can not connect to database.");
}

QString databaseFailureText(const ErrorInfo &error, const QString &database, const QString &port)
{
    return errorPrefix(error) + QStringLiteral(" occured for connection to database ") + database +
           QStringLiteral(" on port ") + port + LineBreak +
           QStringLiteral("Port will be disabled until database connection is restored.") +
           LineBreak + adviceLine(port);
}

QString socketFailureText(const ErrorInfo &error, const QString &port)
{
    return errorPrefix(error) + QStringLiteral(" occured on port ") + port + LineBreak +
           QStringLiteral("Port will be disabled until problem is corrected.") + LineBreak +
           adviceLine(port);
}

void showDatabaseFailure(OperatorInteraction &op, const ErrorInfo &error, const QString &database,
                         const QString &port)
{
    op.messageBox(databaseFailureText(error, database, port), OperatorInteraction::Buttons::Ok,
                  connectFailureTitle());
}

void showSocketFailure(OperatorInteraction &op, const ErrorInfo &error, const QString &port)
{
    op.messageBox(socketFailureText(error, port), OperatorInteraction::Buttons::Ok,
                  connectFailureTitle());
}
