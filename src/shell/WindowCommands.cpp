#include "WindowCommands.h"

#include "ClosingSave.h"
#include "MainForm.h"

#include "editing/AddConnection.h"
#include "editing/ChangeDatabase.h"
#include "editing/ChangeLogFile.h"
#include "editing/ChangeLogon.h"
#include "editing/ChangePort.h"
#include "editing/DeleteConnection.h"

#include <QAction>

WindowCommands::WindowCommands(MainForm &form, MainModule &state, OperatorInteraction &op,
                               const DbConnectionFactory &databases,
                               std::function<void()> endProgram, std::function<void()> exitRun)
    : QObject(&form)
    , m_tools{state,
              op,
              databases,
              [&form] { return form.selectedKey(); },
              [&form](const QString &caption) { form.ToolsDatabase()->setText(caption); },
              std::move(endProgram)}
{
    connect(&form, &MainForm::saveRequested, this, [&state, &op] { saveConnections(state, op); });
    connect(&form, &MainForm::closing, this,
            [&state, &form, &op] { closingSave(state, form, op); });
    connect(&form, &MainForm::exitRequested, this, std::move(exitRun));

    connectTool(form.ToolsPort(), changePort);
    connectTool(form.ToolsDatabase(), changeDatabase);
    connectTool(form.ToolsLogon(), changeLogonCheck);
    connectTool(form.ToolsLog(), changeLogFile);
    connectTool(form.ToolsAdd(), addConnection);
    connectTool(form.ToolsDelete(), deleteConnection);
}

void WindowCommands::connectTool(QAction *action, void (*command)(const EditingContext &))
{
    connect(action, &QAction::triggered, this, [this, command] { command(m_tools); });
}
