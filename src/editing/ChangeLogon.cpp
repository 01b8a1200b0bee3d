#include "ChangeLogon.h"

#include "EditingContext.h"
#include "SelectedConnection.h"
#include "ValueReplies.h"

#include "state/MainModule.h"

void changeLogonCheck(const EditingContext &context)
{
    const std::optional<QString> key = selectedConnection(context);
    if (!key)
        return;
    ConnectionList &list = context.state.ListView1;
    const QString current = list.row(list.find(*key)).logon;
    const std::optional<QString> reply =
        askLogonCheck(context.state, context.op, QStringLiteral("Modify Logon Check"), current);
    const int position = list.find(*key);
    if (!reply || reply->isEmpty() || position < 0)
        return;
    list.setSubItem(position, 2, *reply);
}
