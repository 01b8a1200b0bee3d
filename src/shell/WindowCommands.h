#pragma once

#include "editing/EditingContext.h"

#include <QObject>

#include <functional>

class MainForm;
class QAction;

// Connects the window's menus and its close request to the commands: Save rewrites the
// connections file, Exit ends the run without saving, closing runs the closing save, and
// the Tools entries run the editing commands on the selected row.
class WindowCommands : public QObject
{
    Q_OBJECT

public:
    // endProgram ends the run at once (a Cancel in a database prompt); exitRun leaves the
    // event loop without the close request (the Exit command).
    WindowCommands(MainForm &form, MainModule &state, OperatorInteraction &op,
                   const DbConnectionFactory &databases, std::function<void()> endProgram,
                   std::function<void()> exitRun);

private:
    void connectTool(QAction *action, void (*command)(const EditingContext &));

    EditingContext m_tools;
};
