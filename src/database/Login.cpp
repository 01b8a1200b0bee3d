#include "Login.h"

#include "DatabaseOpen.h"
#include "LogonString.h"

#include "platform/OperatorInteraction.h"
#include "state/TextFunctions.h"

bool Login(const QString &connString, qint32 port, OperatorInteraction &op,
           const DbConnectionFactory &newConnection)
{
    const LoginRequest labels{QStringLiteral("Port: ") + QString::number(port),
                              QStringLiteral("Database: ") + DataSourceOf(connString)};
    const auto tryLogon = [&](const QString &user, const QString &password) {
        Result<std::unique_ptr<DbConnection>> trial =
            OpenDatabase(newConnection, logonString(connString, user, password));
        if (trial && (*trial)->Close())
            return LoginVerdict::Accept;
        const auto answer =
            op.messageBox(QStringLiteral("Logon is invalid.  Try again?"),
                          OperatorInteraction::Buttons::OkCancel, QStringLiteral("Logon Failed"));
        return answer == OperatorInteraction::Answer::Ok ? LoginVerdict::Retry
                                                         : LoginVerdict::Cancel;
    };
    return op.login(labels, tryLogon);
}
