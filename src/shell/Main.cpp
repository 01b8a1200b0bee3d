#include "Main.h"

#include "CommandLine.h"
#include "LayoutValues.h"
#include "MainForm.h"
#include "state/MainModule.h"
#include "state/NumberText.h"
#include "state/StartupMessages.h"
#include "state/TextFunctions.h"

#include "database/ActivationMessages.h"
#include "database/CreateSchema.h"
#include "database/Login.h"
#include "platform/OperatorInteraction.h"
#include "settings/ConnectionsFile.h"
#include "settings/FileErrors.h"
#include "settings/ProgPathModule.h"
#include "settings/RegistrySettings.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

// The widest texts of the list columns, for default column widths.
struct Widths
{
    double port = 0;
    double database = 0;
    double log = 0;
};

class Startup
{
public:
    Startup(MainModule &state, const MainServices &services)
        : m_state(state)
        , m_services(services)
    {
    }

    StartResult run(const QString &commandLine);

private:
    Status prepare(const QString &commandLine);
    Status restoreGeometry();
    Status takeConnections();
    Status takeDefaultConnection(const QString &path);
    Status takeFileConnections(const QString &path);
    Status restoreColumnWidths();
    Result<double> storedNumber(const QString &name, double fallback);
    void addRow(qint32 n, qint32 port, const QString &connString, const QString &logon,
                const QString &log);
    bool activateAll();
    void showWindow();
    void failure(const ErrorInfo &error);

    MainModule &m_state;
    const MainServices &m_services;
    MainForm *const m_window = m_services.window;
    Widths m_widths;
};

StartResult Startup::run(const QString &commandLine)
{
    if (const Status prepared = prepare(commandLine); !prepared) {
        failure(prepared.error());
        return StartResult::Failed;
    }
    if (!activateAll())
        return StartResult::Stopped;
    showWindow();
    return StartResult::Running;
}

Status Startup::prepare(const QString &commandLine)
{
    m_state.DefaultAppPath = defaultAppPath();
    if (const Status located = LocateAppPath(m_state, m_services.registry); !located)
        return located;
    m_state.MaxCon = 10;
    m_state.RawLogging = 1;
    if (const Status options = applyCommandLine(m_state, commandLine); !options)
        return options;
    m_state.createConnStrings();
    if (const Status geometry = restoreGeometry(); !geometry)
        return geometry;
    if (!QFileInfo(m_state.AppPath).isDir() && !QDir().mkdir(m_state.AppPath))
        return ErrorInfo{
            FileErrorNumber::PathNotFound,
            QStringLiteral("%1 (Path not found: the program folder can not be created; "
                           "does its parent folder exist?)")
                .arg(m_state.AppPath)};
    if (const Status taken = takeConnections(); !taken)
        return taken;
    return restoreColumnWidths();
}

// A stored number, or the default saved at once when the store has none.
Result<double> Startup::storedNumber(const QString &name, double fallback)
{
    QString text = ReadRegValue(m_state.RegAppKey, name);
    if (text == NoValue()) {
        text = LayoutValues::numberText(fallback);
        SaveRegValue(m_state.RegAppKey, name, text);
    }
    const std::optional<double> value = LayoutValues::readNumber(text);
    if (!value)
        return ErrorInfo{
            13, QStringLiteral("Type mismatch: the stored window value %1 is \"%2\", not a "
                               "number")
                    .arg(name, text)};
    return *value;
}

Status Startup::restoreGeometry()
{
    if (!m_window)
        return {};
    const double screenHeight = m_window->screenHeightTwips();
    const double screenWidth = m_window->screenWidthTwips();
    struct Item
    {
        const char *name;
        double screen;
        int divisor;
        void (MainForm::*set)(double);
    };
    const Item items[] = {{"WindowTop", screenHeight, 3, &MainForm::setTopTwips},
                          {"WindowLeft", screenWidth, 8, &MainForm::setLeftTwips},
                          {"WindowHeight", screenHeight, 6, &MainForm::setHeightTwips},
                          {"WindowWidth", screenWidth, 2, &MainForm::setWidthTwips}};
    for (const Item &item : items) {
        const Result<double> value =
            storedNumber(QLatin1String(item.name),
                         double(LayoutValues::geometryDefault(item.screen, item.divisor)));
        if (!value)
            return value.error();
        (m_window->*item.set)(*value);
    }
    return {};
}

Status Startup::takeConnections()
{
    const QString path = QDir(m_state.AppPath).filePath(m_state.CfgFile);
    if (!QFileInfo::exists(path))
        return takeDefaultConnection(path);
    return takeFileConnections(path);
}

Status Startup::takeDefaultConnection(const QString &path)
{
    const ConnectionLine line = defaultConnection(m_state.AppPath);
    m_state.LogFile = line.log;
    addRow(1, line.port, line.database, line.logon, line.log);
    return writeDefaultFile(path, m_state.AppPath);
}

Status Startup::takeFileConnections(const QString &path)
{
    const Result<QList<ConnectionLine>> lines = readConnectionsFile(path, m_state.AppPath);
    if (!lines)
        return lines.error();
    qint32 next = 0;
    QList<qint32> refused;
    for (const ConnectionLine &line : *lines) {
        m_state.LogFile = line.log;
        // A line with no number left is refused before anyone is asked for its logon.
        if (next + 1 > m_state.MaxCon) {
            refused.append(line.port);
            continue;
        }
        // Only the exact text "True" asks for a logon; a declined logon drops the line.
        if (line.logon == QLatin1String("True") &&
            !Login(line.database, line.port, m_services.op, m_services.databases))
            continue;
        ++next;
        addRow(next, line.port, line.database, line.logon, line.log);
    }
    if (!refused.isEmpty())
        m_services.op.messageBox(StartupMessages::tooManyText(refused, m_state.MaxCon),
                                 OperatorInteraction::Buttons::Ok, StartupMessages::tooManyTitle());
    return {};
}

void Startup::addRow(qint32 n, qint32 port, const QString &connString, const QString &logon,
                     const QString &log)
{
    m_state.ConnStrings[n] = connString;
    const ConnectionRow row{ConnKey(n), QString::number(port),
                            StripSegment(connString, QStringLiteral(";Persist Security Info=")),
                            logon, log};
    m_state.ListView1.add(row);
    if (!m_window)
        return;
    m_widths.port = std::max(m_widths.port, m_window->measureTwips(row.text));
    m_widths.database = std::max(m_widths.database, m_window->measureTwips(row.database));
    m_widths.log = std::max(m_widths.log, m_window->measureTwips(row.log));
}

Status Startup::restoreColumnWidths()
{
    if (!m_window)
        return {};
    const double defaults[] = {m_widths.port * 1.3, m_widths.database * 1.05,
                               m_window->measureTwips(QStringLiteral("Logon")) * 1.5,
                               m_widths.log * 1.05};
    for (int column = 1; column <= 4; ++column) {
        const Result<double> width =
            storedNumber(QStringLiteral("Column(%1)Width").arg(column), defaults[column - 1]);
        if (!width)
            return width.error();
        m_window->setColumnWidthTwips(column, *width);
    }
    return {};
}

// Every row in list order: its schema, then its socket. A failing row gets its own message
// and keeps its row; the others go on. False when the operator stopped the program.
bool Startup::activateAll()
{
    for (int position = 0; position < m_state.ListView1.count(); ++position) {
        const ConnectionRow row = m_state.ListView1.row(position);
        const qint32 n = ConnNumber(row.key);
        const SchemaOutcome schema = CreateSchema(m_state, n, m_services.op, m_services.databases);
        if (schema.cancelled)
            return false;
        if (!schema.status) {
            showDatabaseFailure(m_services.op, schema.status.error(), row.database, row.text);
            continue;
        }
        if (const Status socket = m_state.activateSocket(n, row.text); !socket)
            showSocketFailure(m_services.op, socket.error(), row.text);
    }
    return true;
}

void Startup::showWindow()
{
    QList<quint16> receiving;
    for (const ConnectionRow &row : m_state.ListView1.rows()) {
        const UdpSocketElement *element = m_state.udpPeerB.element(ConnNumber(row.key));
        if (element && element->LocalPort() != 0)
            receiving.append(element->LocalPort());
    }
    m_state.Label1.setCaption(StartupMessages::notice(receiving, m_state.ListView1.count()));
    if (m_window)
        m_window->show();
}

void Startup::failure(const ErrorInfo &error)
{
    // Where it happened and why; the path (or the last log path read) says where to look.
    QString detail = error.description;
    if (!detail.contains(m_state.AppPath) && !m_state.AppPath.isEmpty())
        detail = m_state.AppPath + QStringLiteral(" (") + detail + QLatin1Char(')');
    m_services.op.messageBox(StartupMessages::failureText(detail), OperatorInteraction::Buttons::Ok,
                             StartupMessages::failureTitle());
}

} // namespace

StartResult Main(MainModule &state, const MainServices &services, const QString &commandLine)
{
    return Startup(state, services).run(commandLine);
}
