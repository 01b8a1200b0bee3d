#pragma once

#include "platform/DbConnection.h"

#include <QString>

#include <functional>

class MainModule;
class OperatorInteraction;

// What the Tools commands work with. A command runs from its menu click to its end on the one
// thread and may wait in modal dialogs, during which datagrams keep arriving.
struct EditingContext
{
    MainModule &state;
    OperatorInteraction &op;
    const DbConnectionFactory &databases;
    // The key of the connection list's selected row, "" when no row is selected.
    std::function<QString()> selectedKey;
    // Sets the caption of the Tools menu's Database entry.
    std::function<void(const QString &caption)> setDatabaseCaption;
    // Ends the program at once without saving anything, after the operator chose Cancel in a
    // database prompt. The command that calls it stops there.
    std::function<void()> endProgram;
};
