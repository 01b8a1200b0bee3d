#include "intake/ComponentLibrary.h"
#include "settings/ProgPathModule.h"
#include "shell/Program.h"
#include "state/MainModule.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

// varnock_udp --regserver LIB: records a component library in the class registration.
int registerServer(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        QTextStream(stderr) << "usage: varnock_udp --regserver LIBRARY\n";
        return 2;
    }
    const Result<QString> registered =
        registerComponentLibrary(QString::fromLocal8Bit(argv[2]), ClassRegistry());
    if (!registered) {
        QTextStream(stderr) << "varnock_udp: " << registered.error().description << '\n';
        return 1;
    }
    QTextStream(stdout) << *registered << '\n';
    return 0;
}

// varnock_udp --registered: prints the scoring library the program will activate, so set-up
// scripts can tell whether the user registered one of their own.
int printRegistered(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const std::optional<QString> library = ClassRegistry().libraryOf(MainModule().ScoreProgId);
    if (!library) {
        QTextStream(stderr) << "varnock_udp: no scoring component is registered in "
                            << ClassRegistry::userFilePath() << '\n';
        return 1;
    }
    QTextStream(stdout) << *library << '\n';
    return 0;
}

// varnock_udp --program-folder: prints the folder that holds the connections file, the way
// start-up finds it from the registration.
int printProgramFolder(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    MainModule state;
    state.DefaultAppPath = defaultAppPath();
    if (const Status located = LocateAppPath(state, ClassRegistry()); !located) {
        QTextStream(stderr) << "varnock_udp: " << located.error().description << '\n';
        return 1;
    }
    QTextStream(stdout) << state.AppPath << '\n';
    return 0;
}

// varnock_udp --help: the command line, for an operator without the README at hand.
int printHelp()
{
    QTextStream(stdout)
        << "usage: varnock_udp [maxcon=N] [logout=N] [cfgfile=NAME] [--headless] [--no-http]\n"
           "                   [--metrics=ADDRESS]\n"
           "       varnock_udp --regserver LIBRARY | --registered | --program-folder\n"
           "\n"
           "  maxcon=N        the highest connection number, 1 to 32767 (default 10)\n"
           "  logout=N        raw logging handed to the scoring component: 0 off, 1 on "
           "(default 1)\n"
           "  cfgfile=NAME    connections file in the program folder, taken in lower case\n"
           "                  (default connections.cfg)\n"
           "  --headless      no window: messages go to standard error, the status line to\n"
           "                  standard output (chosen by itself without a display)\n"
           "  --no-http       take datagrams only: no HTTP log posts on the connections' ports\n"
           "  --metrics=ADDRESS  serve /metrics (Prometheus) and /healthz on ADDRESS: PORT\n"
           "                  (on 127.0.0.1), IP:PORT or [IPv6]:PORT (default: off)\n"
           "  --regserver LIBRARY  register a scoring component library for this user\n"
           "  --registered    print the registered scoring component library\n"
           "  --program-folder  print the folder of the connections file and database\n"
           "  --screenshot=FILE  save a picture of the window as it first appears, then end\n"
           "\n"
           "The options are found anywhere in the command line, in any case. The README's\n"
           "Help section says where to look when something goes wrong and how to report it.\n";
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 2 && qstrcmp(argv[1], "--regserver") == 0)
        return registerServer(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], "--registered") == 0)
        return printRegistered(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], "--program-folder") == 0)
        return printProgramFolder(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], "--help") == 0)
        return printHelp();

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const ProgramOptions options = readProgramOptions(arguments, displayAvailable());
    if (!options.invalid.isEmpty()) {
        QTextStream(stderr) << "varnock_udp: " << options.invalid << '\n';
        return 2;
    }
    return options.headless ? runHeadless(argc, argv, options) : runWithWindow(argc, argv, options);
}
