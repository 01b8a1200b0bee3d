#include "AddConnection.h"

#include "EditingContext.h"
#include "EditingTexts.h"
#include "PortEntry.h"
#include "ValueReplies.h"

#include "database/ActivationMessages.h"
#include "database/CreateSchema.h"
#include "settings/ConnectionsFile.h"
#include "state/MainModule.h"
#include "state/StartupMessages.h"
#include "state/TextFunctions.h"

#include <QDir>
#include <QFileInfo>

namespace {

class AddConnection
{
public:
    explicit AddConnection(const EditingContext &context)
        : m_context(context)
        , m_state(context.state)
        , m_op(context.op)
        , m_path(QDir(m_state.AppPath).filePath(m_state.CfgFile))
    {
    }

    void run();

private:
    void backUp();
    bool askPort();
    bool takeNumber();
    void addRow();
    bool bindSocket();
    // Steps that end with the database failure message when they fail; false when the
    // command ends without one (Data Link cancelled, the program ended).
    Result<bool> chooseDatabase();
    void databaseFailure(const ErrorInfo &error);
    void chooseLogFile();
    void appendLine();

    ConnectionRow row() const;
    void setSubItem(int subItem, const QString &text);

    const EditingContext &m_context;
    MainModule &m_state;
    OperatorInteraction &m_op;
    const QString m_path;
    // The port entered; datagrams arriving during the dialogs do not touch this copy.
    qint32 m_port = 0;
    qint32 m_n = 0;
    QString m_key;
    QString m_database; // the chosen connection string, then its display text
    QString m_logon;
    QString m_log;
};

void AddConnection::run()
{
    backUp();
    if (!askPort() || !takeNumber())
        return;
    addRow();
    if (!bindSocket())
        return;
    const Result<bool> chosen = chooseDatabase();
    if (!chosen) {
        databaseFailure(chosen.error());
        return;
    }
    if (!*chosen)
        return;
    chooseLogFile();
    appendLine();
}

void AddConnection::backUp()
{
    // Without a file there is nothing to keep; the append creates it.
    if (!QFileInfo::exists(m_path))
        return;
    if (const Status backup = makeBackup(m_path); !backup)
        m_op.messageBox(EditingTexts::backupFailedText(backup.error()),
                        OperatorInteraction::Buttons::Ok, EditingTexts::backupFailedTitle());
}

bool AddConnection::askPort()
{
    const std::optional<QString> reply = askSingleValue(
        m_state, m_op, {QStringLiteral("Enter Port Number"), QStringLiteral("Port Number"), {}});
    if (!reply)
        return false;
    const Result<qint32> port = portFromText(*reply);
    if (!port) {
        m_op.messageBox(EditingTexts::invalidPortText(port.error(), true),
                        OperatorInteraction::Buttons::Ok, EditingTexts::invalidPortTitle());
        return false;
    }
    m_port = *port;
    if (portInUse(m_state.udpPeerB, m_port)) {
        m_op.messageBox(EditingTexts::addPortInUseText(m_port), OperatorInteraction::Buttons::Ok,
                        EditingTexts::portInUseTitle());
        return false;
    }
    return true;
}

// The smallest number that no row's key carries, so numbers freed by a delete come back.
bool AddConnection::takeNumber()
{
    m_n = 1;
    for (bool taken = true; taken;) {
        taken = false;
        for (const ConnectionRow &existing : m_state.ListView1.rows()) {
            if (ConnNumber(existing.key) == m_n) {
                ++m_n;
                taken = true;
                break;
            }
        }
    }
    if (m_n > m_state.MaxCon) {
        m_op.messageBox(EditingTexts::tooManyText(m_port, m_state.MaxCon),
                        OperatorInteraction::Buttons::Ok, StartupMessages::tooManyTitle());
        return false;
    }
    m_key = ConnKey(m_n);
    return true;
}

void AddConnection::addRow()
{
    m_state.ListView1.add({m_key, QString::number(m_port),
                           EditingTexts::addPlaceholderDatabase(m_state.DefaultAppPath),
                           QStringLiteral("False"),
                           QDir(m_state.AppPath).filePath(QStringLiteral("Process.log"))});
}

bool AddConnection::bindSocket()
{
    Status bound = m_state.udpPeerB.Load(m_n);
    if (bound)
        bound = m_state.udpPeerB.element(m_n)->Bind(m_port);
    if (!bound)
        showSocketFailure(m_op, bound.error(), row().text);
    return bool(bound);
}

Result<bool> AddConnection::chooseDatabase()
{
    const Result<std::optional<QString>> chosen =
        m_op.promptNewDataLink(m_context.databases, m_context.state.AppPath);
    if (!chosen)
        return chosen.error();
    if (!chosen->has_value())
        return false;
    m_database = **chosen;
    m_state.ConnStrings[m_n] = m_database;

    const SchemaOutcome schema = CreateSchema(m_state, m_n, m_op, m_context.databases);
    if (schema.cancelled) {
        m_context.endProgram();
        return false;
    }
    if (!schema.status)
        return schema.status.error();

    m_database = EditingTexts::editedDisplayText(m_database);
    setSubItem(1, m_database);
    m_context.setDatabaseCaption(EditingTexts::databaseMenuCaption(m_database));

    // Closed by its frame, the logon dialog leaves the row's "False".
    m_logon = row().logon;
    if (const std::optional<QString> reply =
            askLogonCheck(m_state, m_op, QStringLiteral("Enter Logon Check"), m_logon))
        m_logon = *reply;
    setSubItem(2, m_logon);
    return true;
}

void AddConnection::databaseFailure(const ErrorInfo &error)
{
    showDatabaseFailure(m_op, error, row().database, row().text);
    if (UdpSocketElement *socket = m_state.udpPeerB.element(m_n); socket && socket->State() > 0)
        socket->Close();
}

void AddConnection::chooseLogFile()
{
    m_log = row().log;
    if (const std::optional<QString> chosen = askLogFile(m_state, m_op, m_log)) {
        m_log = *chosen;
        setSubItem(3, m_log);
    }
}

void AddConnection::appendLine()
{
    const Status appended =
        appendConnectionLine(m_path, ConnectionLine{m_port, m_database, m_logon, m_log});
    if (!appended)
        m_op.messageBox(EditingTexts::appendFailedText(appended.error()),
                        OperatorInteraction::Buttons::Ok, EditingTexts::appendFailedTitle());
}

// The new row as it stands; found by key each time, since list order is no identity.
ConnectionRow AddConnection::row() const
{
    const int position = m_state.ListView1.find(m_key);
    return position >= 0 ? m_state.ListView1.row(position)
                         : ConnectionRow{m_key, QString::number(m_port), {}, {}, {}};
}

void AddConnection::setSubItem(int subItem, const QString &text)
{
    if (const int position = m_state.ListView1.find(m_key); position >= 0)
        m_state.ListView1.setSubItem(position, subItem, text);
}

} // namespace

void addConnection(const EditingContext &context)
{
    AddConnection(context).run();
}
