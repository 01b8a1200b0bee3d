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

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 2 && qstrcmp(argv[1], "--regserver") == 0)
        return registerServer(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], "--registered") == 0)
        return printRegistered(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], "--program-folder") == 0)
        return printProgramFolder(argc, argv);

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const ProgramOptions options = readProgramOptions(arguments, displayAvailable());
    return options.headless ? runHeadless(argc, argv, options) : runWithWindow(argc, argv, options);
}
