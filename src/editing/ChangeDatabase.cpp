#include "ChangeDatabase.h"

#include "EditingContext.h"
#include "EditingTexts.h"
#include "PortEntry.h"
#include "SelectedConnection.h"

#include "database/ActivationMessages.h"
#include "database/CreateSchema.h"
#include "platform/OperatorInteraction.h"
#include "platform/SocketErrors.h"
#include "state/MainModule.h"
#include "state/TextFunctions.h"

namespace {

class ChangeDatabase
{
public:
    ChangeDatabase(const EditingContext &context, const QString &key)
        : m_context(context)
        , m_state(context.state)
        , m_key(key)
        , m_n(ConnNumber(key))
    {
    }

    void run();

private:
    // False when the command ends here (Cancel, the program ended, a failure shown).
    bool changeDatabase();
    Status rebindSocket();
    ConnectionRow row() const;
    void setDatabaseText(const QString &text);

    const EditingContext &m_context;
    MainModule &m_state;
    const QString m_key;
    const qint32 m_n;
};

void ChangeDatabase::run()
{
    if (!changeDatabase())
        return;
    if (const Status socket = rebindSocket(); !socket)
        showSocketFailure(m_context.op, socket.error(), row().text);
}

bool ChangeDatabase::changeDatabase()
{
    const Result<std::optional<QString>> chosen =
        m_context.op.promptNewDataLink(m_context.databases, m_context.state.AppPath);
    Status done;
    if (!chosen) {
        done = chosen.error();
    } else if (!chosen->has_value()) {
        return false;
    } else if (!m_state.hasConnSlot(m_n)) {
        done = ErrorInfo{9, QStringLiteral("Subscript out of range (connection number %1 is "
                                           "not between 1 and %2)")
                                .arg(m_n)
                                .arg(m_state.MaxCon)};
    } else {
        // From here on datagrams are scored into the new database, even if a later step fails.
        m_state.ConnStrings[m_n] = **chosen;
        const SchemaOutcome schema = CreateSchema(m_state, m_n, m_context.op, m_context.databases);
        if (schema.cancelled) {
            m_context.endProgram();
            return false;
        }
        done = schema.status;
    }
    if (!done) {
        showDatabaseFailure(m_context.op, done.error(), row().database, row().text);
        return false;
    }
    setDatabaseText(EditingTexts::editedDisplayText(**chosen));
    return true;
}

Status ChangeDatabase::rebindSocket()
{
    UdpSocketElement *socket = m_state.udpPeerB.element(m_n);
    if (!socket)
        return SocketErrors::notLoaded(m_n);
    if (socket->State() >= UdpSocketElement::Open)
        socket->Close();
    const Result<qint32> port = portFromText(row().text);
    if (!port)
        return port.error();
    return socket->Bind(*port);
}

// The selected row as it stands; found by key each time, since list order is no identity.
ConnectionRow ChangeDatabase::row() const
{
    const int position = m_state.ListView1.find(m_key);
    return position >= 0 ? m_state.ListView1.row(position) : ConnectionRow{m_key, {}, {}, {}, {}};
}

void ChangeDatabase::setDatabaseText(const QString &text)
{
    if (const int position = m_state.ListView1.find(m_key); position >= 0)
        m_state.ListView1.setSubItem(position, 1, text);
}

} // namespace

void changeDatabase(const EditingContext &context)
{
    if (const std::optional<QString> key = selectedConnection(context))
        ChangeDatabase(context, *key).run();
}
