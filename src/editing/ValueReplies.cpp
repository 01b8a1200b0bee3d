#include "ValueReplies.h"

#include "state/MainModule.h"

std::optional<QString> askSingleValue(MainModule &state, OperatorInteraction &op,
                                      const ValueRequest &request)
{
    const std::optional<QString> reply = op.singleValue(request);
    if (reply)
        state.DlgValue = *reply;
    return reply;
}

std::optional<QString> askLogonCheck(MainModule &state, OperatorInteraction &op,
                                     const QString &caption, const QString &current)
{
    // "True" and then "False" are each put at the top of the list.
    const QStringList entries = {QStringLiteral("False"), QStringLiteral("True")};
    const std::optional<QString> reply =
        op.singleSelect({caption, QStringLiteral("Require Logon"), current}, entries);
    if (reply)
        state.DlgValue = *reply;
    return reply;
}

std::optional<QString> askLogFile(MainModule &state, OperatorInteraction &op,
                                  const QString &currentPath)
{
    if (state.CommonDialog1FileName.isEmpty())
        state.CommonDialog1FileName = currentPath;
    const std::optional<QString> chosen = op.chooseLogFile(state.CommonDialog1FileName);
    if (chosen)
        state.CommonDialog1FileName = *chosen;
    return chosen;
}
