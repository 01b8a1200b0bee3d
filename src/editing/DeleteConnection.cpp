#include "DeleteConnection.h"

#include "EditingContext.h"
#include "SelectedConnection.h"

#include "state/MainModule.h"
#include "state/TextFunctions.h"

void deleteConnection(const EditingContext &context)
{
    const std::optional<QString> key = selectedConnection(context);
    if (!key)
        return;
    MainModule &state = context.state;
    const qint32 n = ConnNumber(*key);
    if (state.hasConnSlot(n))
        state.ConnStrings[n].clear();
    // Unloading closes the element first; a row whose socket never loaded has none.
    if (n != 0 && state.udpPeerB.isLoaded(n))
        state.udpPeerB.Unload(n);
    state.ListView1.remove(*key);
}
