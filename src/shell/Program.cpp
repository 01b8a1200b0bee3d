#include "Program.h"

#include "ConsoleStatus.h"
#include "Main.h"
#include "MainForm.h"
#include "MetricsStart.h"
#include "StopReceiving.h"
#include "WindowCommands.h"
#include "state/MainModule.h"

#include "httpintake/HttpIntake.h"
#include "intake/DatagramIntake.h"
#include "intake/ScoringComponentFactory.h"
#include "platform/ClassRegistry.h"
#include "platform/ConsoleOperator.h"
#include "platform/SqlConnection.h"
#include "platform/StopSignals.h"
#include "platform/WidgetsOperator.h"

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <optional>

ProgramOptions readProgramOptions(const QStringList &arguments, bool display)
{
    ProgramOptions options;
    options.headless = !display;
    QStringList rest;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--headless"))
            options.headless = true;
        else if (argument == QLatin1String("--no-http"))
            options.http = false;
        else if (argument.startsWith(QLatin1String("--metrics="))) {
            const Result<MetricsAddress> address =
                parseMetricsAddress(argument.mid(int(qstrlen("--metrics="))));
            if (address)
                options.metrics = *address;
            else
                options.invalid = address.error().description;
        } else if (argument.startsWith(QLatin1String("--screenshot=")))
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

namespace {

// HTTP log posts follow every socket element that binds, from the start on.
std::unique_ptr<HttpIntake> httpIntake(const ProgramOptions &options, MainModule &state,
                                       DatagramIntake &intake)
{
    if (!options.http)
        return nullptr;
    return std::make_unique<HttpIntake>(state, intake);
}

// Start-up ends with its notice in the status line; a port that could not listen for HTTP
// must still show there.
void showHttpFailure(const HttpIntake *http, MainModule &state)
{
    if (http && !http->lastFailure().isEmpty())
        state.Label1.setCaption(http->lastFailure());
}

std::unique_ptr<MetricsServer> metricsServer(const ProgramOptions &options, MainModule &state,
                                             ScoringComponentFactory &factory)
{
    if (!options.metrics)
        return nullptr;
    return startMetrics(*options.metrics, state, factory);
}

// Whether start-up left the program running, and if not, the exit code.
std::optional<int> exitCodeAfter(StartResult result)
{
    switch (result) {
    case StartResult::Failed:
        return 1;
    case StartResult::Stopped:
        return 0;
    case StartResult::Running:
        break;
    }
    return std::nullopt;
}

// The scoring component writes what it holds; datagrams it could not write make the run
// end in failure, so a service manager sees it. The ports are free and the window is gone
// before it starts, as it may wait for a database as long as its unload wait.
int finished(int code, ScoringComponentFactory &factory, MainModule &state, DatagramIntake &intake,
             std::unique_ptr<MetricsServer> &metrics, QWidget *window = nullptr)
{
    metrics.reset(); // no scrape reads the component while it finishes
    intake.reportEndOfRun();
    stopReceiving(state.udpPeerB);
    if (window)
        window->hide();
    const qint64 unwritten = factory.finish();
    if (unwritten <= 0)
        return code;
    QTextStream(stderr) << "varnock_udp: the scoring component could not write " << unwritten
                        << " datagrams before the program ended; its log file says where they "
                           "are kept.\n";
    return code != 0 ? code : 3;
}

} // namespace

int runWithWindow(int argc, char *argv[], const ProgramOptions &options)
{
    QApplication app(argc, argv);
    MainModule state;
    ScoringComponentFactory factory;
    DatagramIntake intake(state, factory);
    const std::unique_ptr<HttpIntake> http = httpIntake(options, state, intake);
    MainForm form(state);
    WidgetsOperator op(&form);
    const ClassRegistry registry;
    const DbConnectionFactory databases = newSqlConnection;

    if (const auto code = exitCodeAfter(
            Main(state, MainServices{op, registry, databases, &form}, options.commandLine)))
        return *code;
    showHttpFailure(http.get(), state);
    std::unique_ptr<MetricsServer> metrics = metricsServer(options, state, factory);

    // Cancel in a database prompt ends the run on the spot: nothing is saved, but the
    // scoring component still finishes what it took. Exit leaves the event loop, so the
    // window goes without its close request and nothing is saved.
    WindowCommands commands(
        form, state, op, databases,
        [&] { std::exit(finished(0, factory, state, intake, metrics, &form)); },
        [] { QCoreApplication::exit(0); });
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::stopRequested, &form, [&form] { form.close(); });

    if (!options.screenshotPath.isEmpty()) {
        // Under a window manager the picture takes the frame and title bar from the screen;
        // without one there is no frame, and the window draws itself.
        QTimer::singleShot(1000, &form, [&] {
            const QRect frame = form.frameGeometry();
            const QPixmap picture = frame == form.geometry() || !form.screen()
                                        ? form.grab()
                                        : form.screen()->grabWindow(0, frame.x(), frame.y(),
                                                                    frame.width(), frame.height());
            picture.save(options.screenshotPath);
            QCoreApplication::exit(0);
        });
    }
    return finished(app.exec(), factory, state, intake, metrics, &form);
}

int runHeadless(int argc, char *argv[], const ProgramOptions &options)
{
    QCoreApplication app(argc, argv);
    MainModule state;
    ScoringComponentFactory factory;
    DatagramIntake intake(state, factory);
    const std::unique_ptr<HttpIntake> http = httpIntake(options, state, intake);
    ConsoleOperator op;
    ConsoleStatus console(state.Label1, stdout);
    const ClassRegistry registry;
    const DbConnectionFactory databases = newSqlConnection;

    if (const auto code = exitCodeAfter(
            Main(state, MainServices{op, registry, databases, nullptr}, options.commandLine)))
        return *code;
    showHttpFailure(http.get(), state);
    std::unique_ptr<MetricsServer> metrics = metricsServer(options, state, factory);
    // Nothing was edited, so stopping saves nothing: a connection whose logon could not be
    // asked stays in the file.
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::stopRequested, &app, [] { QCoreApplication::quit(); });
    const int code = app.exec();
    console.flush();
    return finished(code, factory, state, intake, metrics);
}
