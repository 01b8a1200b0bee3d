#pragma once

#include "platform/DbConnection.h"

#include <QString>

class ClassRegistry;
class MainForm;
class MainModule;
class OperatorInteraction;

// What start-up works with. Without a window (a service) the layout steps are left out and
// the settings store is not touched.
struct MainServices
{
    OperatorInteraction &op;
    const ClassRegistry &registry;
    const DbConnectionFactory &databases;
    MainForm *window = nullptr;
};

enum class StartResult {
    Running, // every connection was tried; the window is shown
    Failed,  // the start-up failure message was shown; the program ends without saving
    Stopped, // the operator chose Cancel in a database prompt; the program ends at once
};

// Brings the program up: program folder, command line options, window layout, the
// connections file (with a logon prompt where a connection asks for one), then for every
// connection its statistics schema and its socket, and finally the notice line and the
// window. `commandLine` is the program's arguments joined by blanks.
StartResult Main(MainModule &state, const MainServices &services, const QString &commandLine);
