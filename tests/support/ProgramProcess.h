#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <csignal>

// The real executable in a child process, with this test's XDG folders.
class ProgramProcess
{
public:
    explicit ProgramProcess(
        const QStringList &arguments,
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment())
    {
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(VARNOCK_EXECUTABLE), arguments);
    }
    // The program with a terminal of its own: script(1) gives it one and passes what is
    // written to the process on to it.
    struct InTerminal
    {
    };
    ProgramProcess(InTerminal, const QStringList &arguments)
    {
        const QString command =
            QStringList{QStringLiteral(VARNOCK_EXECUTABLE)}.join(' ') + ' ' + arguments.join(' ');
        m_process.start(QStringLiteral("script"),
                        {QStringLiteral("-qec"), command, QStringLiteral("/dev/null")});
    }
    ~ProgramProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Environment without any display, as on a server.
    static QProcessEnvironment withoutDisplay()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        return environment;
    }

    QProcess &process() { return m_process; }

    // Everything written so far (kept across calls).
    QString out()
    {
        m_out += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_out;
    }
    QString err()
    {
        m_err += QString::fromUtf8(m_process.readAllStandardError());
        return m_err;
    }

    bool stop(int signalNumber = SIGTERM)
    {
        ::kill(pid_t(m_process.processId()), signalNumber);
        return m_process.waitForFinished(20000);
    }

private:
    QProcess m_process;
    QString m_out;
    QString m_err;
};
