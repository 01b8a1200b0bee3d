#include "intake/ComponentLibrary.h"
#include "shell/Program.h"

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

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 2 && qstrcmp(argv[1], "--regserver") == 0)
        return registerServer(argc, argv);

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const ProgramOptions options = readProgramOptions(arguments, displayAvailable());
    return options.headless ? runHeadless(argc, argv, options) : runWithWindow(argc, argv, options);
}
