#include "ChangeLogFile.h"

#include "EditingContext.h"
#include "SelectedConnection.h"
#include "ValueReplies.h"

#include "state/MainModule.h"

void changeLogFile(const EditingContext &context)
{
    const std::optional<QString> key = selectedConnection(context);
    if (!key)
        return;
    ConnectionList &list = context.state.ListView1;
    const QString current = list.row(list.find(*key)).log;
    const std::optional<QString> chosen = askLogFile(context.state, context.op, current);
    const int position = list.find(*key);
    if (!chosen || position < 0)
        return;
    list.setSubItem(position, 3, *chosen);
}
