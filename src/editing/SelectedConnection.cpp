#include "SelectedConnection.h"

#include "EditingContext.h"
#include "EditingTexts.h"

#include "platform/OperatorInteraction.h"
#include "state/MainModule.h"

std::optional<QString> selectedConnection(const EditingContext &context)
{
    const QString key = context.selectedKey ? context.selectedKey() : QString();
    if (!key.isEmpty() && context.state.ListView1.find(key) >= 0)
        return key;
    context.op.messageBox(EditingTexts::noSelectionText(), OperatorInteraction::Buttons::Ok,
                          EditingTexts::noSelectionTitle());
    return std::nullopt;
}
