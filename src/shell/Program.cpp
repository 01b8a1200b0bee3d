#include "Program.h"

#include "ClosingSave.h"
#include "ConsoleStatus.h"
#include "Main.h"
#include "MainForm.h"
#include "MainModule.h"

#include "editing/AddConnection.h"
#include "editing/ChangeDatabase.h"
#include "editing/ChangeLogFile.h"
#include "editing/ChangeLogon.h"
#include "editing/ChangePort.h"
#include "editing/DeleteConnection.h"
#include "editing/EditingContext.h"
#include "intake/DatagramIntake.h"
#include "intake/ScoringComponentFactory.h"
#include "platform/ClassRegistry.h"
#include "platform/ConsoleOperator.h"
#include "platform/SqlConnection.h"
#include "platform/StopSignals.h"
#include "platform/WidgetsOperator.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

#include <cstdlib>

ProgramOptions readProgramOptions(const QStringList &arguments, bool display)
{
    ProgramOptions options;
    options.headless = !display;
    QStringList rest;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--headless"))
            options.headless = true;
        else if (argument.startsWith(QLatin1String("--screenshot=")))
            options.screenshotPath = argument.mid(int(qstrlen("--screenshot=")));
        else
            rest.append(argument);
    }
    options.commandLine = rest.join(QLatin1Char(' '));
    return options;
}

bool displayAvailable()
{
    // A platform named explicitly (offscreen for tests, say) keeps the window front end.
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

int runWithWindow(int argc, char *argv[], const ProgramOptions &options)
{
    QApplication app(argc, argv);
    MainModule state;
    ScoringComponentFactory factory;
    DatagramIntake intake(state, factory);
    MainForm form(state);
    WidgetsOperator op(&form);
    const ClassRegistry registry;
    const DbConnectionFactory databases = newSqlConnection;

    switch (Main(state, MainServices{op, registry, databases, &form}, options.commandLine)) {
    case StartResult::Failed:
        return 1;
    case StartResult::Stopped:
        return 0;
    case StartResult::Running:
        break;
    }

    QObject::connect(&form, &MainForm::saveRequested, &form, [&] { saveConnections(state, op); });
    QObject::connect(&form, &MainForm::closing, &form, [&] { closingSave(state, form, op); });
    // Exit ends the run at once: the window goes without its close request, nothing is saved.
    QObject::connect(&form, &MainForm::exitRequested, &app, [] { QCoreApplication::exit(0); });
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::stopRequested, &form, [&form] { form.close(); });

    const EditingContext tools{
        state,
        op,
        databases,
        [&form] { return form.selectedKey(); },
        [&form](const QString &caption) { form.ToolsDatabase()->setText(caption); },
        // Cancel in a database prompt ends the run on the spot: nothing is saved, and exit()
        // still lets the scoring component finish what it wrote.
        [] { std::exit(0); },
    };
    const auto connectTool = [&form, &tools](QAction *action,
                                             void (*command)(const EditingContext &)) {
        QObject::connect(action, &QAction::triggered, &form, [&tools, command] { command(tools); });
    };
    connectTool(form.ToolsPort(), changePort);
    connectTool(form.ToolsDatabase(), changeDatabase);
    connectTool(form.ToolsLogon(), changeLogonCheck);
    connectTool(form.ToolsLog(), changeLogFile);
    connectTool(form.ToolsAdd(), addConnection);
    connectTool(form.ToolsDelete(), deleteConnection);

    if (!options.screenshotPath.isEmpty()) {
        QTimer::singleShot(300, &form, [&] {
            form.grab().save(options.screenshotPath);
            QCoreApplication::exit(0);
        });
    }
    return app.exec();
}

int runHeadless(int argc, char *argv[], const ProgramOptions &options)
{
    QCoreApplication app(argc, argv);
    MainModule state;
    ScoringComponentFactory factory;
    DatagramIntake intake(state, factory);
    ConsoleOperator op;
    ConsoleStatus console(state.Label1, stdout);
    const ClassRegistry registry;
    const DbConnectionFactory databases = newSqlConnection;

    switch (Main(state, MainServices{op, registry, databases, nullptr}, options.commandLine)) {
    case StartResult::Failed:
        return 1;
    case StartResult::Stopped:
        return 0;
    case StartResult::Running:
        break;
    }
    // Nothing was edited, so stopping saves nothing: a connection whose logon could not be
    // asked stays in the file.
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::stopRequested, &app, [] { QCoreApplication::quit(); });
    const int code = app.exec();
    console.flush();
    return code;
}
