#include "ChangePort.h"

#include "EditingContext.h"
#include "EditingTexts.h"
#include "PortEntry.h"
#include "SelectedConnection.h"
#include "ValueReplies.h"

#include "database/ActivationMessages.h"
#include "platform/SocketErrors.h"
#include "state/MainModule.h"
#include "state/TextFunctions.h"

namespace {

// The element bound to the new port, or bound back to the port it had when that fails.
void rebind(const EditingContext &context, UdpSocketElement &socket, const QString &key,
            qint32 port)
{
    const quint16 oldPort = socket.LocalPort();
    if (socket.State() >= UdpSocketElement::Open)
        socket.Close();
    if (const Status bound = socket.Bind(port); !bound) {
        showSocketFailure(context.op, bound.error(), QString::number(port));
        if (oldPort != 0) {
            if (const Status back = socket.Bind(oldPort); !back)
                showSocketFailure(context.op, back.error(), QString::number(oldPort));
        }
        return;
    }
    const int position = context.state.ListView1.find(key);
    if (position >= 0)
        context.state.ListView1.setText(position, QString::number(port));
}

} // namespace

void changePort(const EditingContext &context)
{
    const std::optional<QString> key = selectedConnection(context);
    if (!key)
        return;
    MainModule &state = context.state;
    const QString current = state.ListView1.row(state.ListView1.find(*key)).text;
    const Result<qint32> currentPort = portFromText(current);
    const std::optional<QString> reply =
        askSingleValue(state, context.op,
                       {QStringLiteral("Modify Port Number"), QStringLiteral("Port Number"),
                        currentPort ? QString::number(*currentPort) : current});
    if (!reply || reply->isEmpty())
        return;

    const Result<qint32> port = portFromText(*reply);
    if (!port) {
        context.op.messageBox(EditingTexts::invalidPortText(port.error(), false),
                              OperatorInteraction::Buttons::Ok, EditingTexts::invalidPortTitle());
        return;
    }
    if (portInUse(state.udpPeerB, *port)) {
        context.op.messageBox(EditingTexts::changePortInUseText(*port),
                              OperatorInteraction::Buttons::Ok, EditingTexts::portInUseTitle());
        return;
    }
    if (*port == 0)
        return;

    // A connection whose socket start-up never loaded has nothing to rebind.
    UdpSocketElement *socket = state.udpPeerB.element(ConnNumber(*key));
    if (!socket) {
        showSocketFailure(context.op, SocketErrors::notLoaded(ConnNumber(*key)),
                          QString::number(*port));
        return;
    }
    rebind(context, *socket, *key, *port);
}
