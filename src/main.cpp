#include "intake/ComponentLibrary.h"
#include "intake/DatagramIntake.h"
#include "intake/ScoringComponentFactory.h"
#include "shell/MainForm.h"
#include "shell/MainModule.h"

#include <QApplication>
#include <QTextStream>

namespace {

// varnock_udp --regserver LIB: records a component library in the class registration.
int registerServer(const QString &path)
{
    const Result<QString> registered = registerComponentLibrary(path, ClassRegistry());
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
    if (argc >= 2 && qstrcmp(argv[1], "--regserver") == 0) {
        QCoreApplication app(argc, argv);
        if (argc != 3) {
            QTextStream(stderr) << "usage: varnock_udp --regserver LIBRARY\n";
            return 2;
        }
        return registerServer(QString::fromLocal8Bit(argv[2]));
    }

    QApplication app(argc, argv);
    MainModule state;
    ScoringComponentFactory factory;
    DatagramIntake intake(state, factory);
    MainForm form(state);
    form.show();
    return app.exec();
}
