#pragma once

#include "FreePort.h"
#include "ProgramProcess.h"

#include <QDir>
#include <QTest>
#include <QUdpSocket>

#include <memory>

inline bool portTaken(quint16 port)
{
    QUdpSocket probe;
    return !probe.bind(QHostAddress::LocalHost, port);
}

// One program process with a program folder of its own and the real component.
class Receiver
{
public:
    Receiver(const QString &folder, const QString &component,
             QProcessEnvironment environment = QProcessEnvironment::systemEnvironment())
        : m_folder(folder)
        , m_environment(std::move(environment))
    {
        QDir().mkpath(folder + "/config");
        QDir().mkpath(folder + "/program");
        m_environment.insert("XDG_CONFIG_HOME", folder + "/config");
        m_environment.insert("XDG_DATA_HOME", folder + "/data");
        QFile::copy(component, folder + "/program/Ledgerwell.so");
        ProgramProcess registration({"--regserver", folder + "/program/Ledgerwell.so"},
                                    m_environment);
        registration.process().waitForFinished(20000);
    }

    // Starts the program with one connection a port; false when a port was not bound.
    bool start(const QStringList &connectionStrings)
    {
        QFile file(m_folder + "/program/connections.cfg");
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        m_ports.clear();
        for (const QString &connection : connectionStrings) {
            m_ports << freePortForChild();
            file.write("Port=" + QByteArray::number(m_ports.last()) +
                       ",Database=" + connection.toUtf8() +
                       ",Logon=False,Log=" + m_folder.toUtf8() + "/program/Process.log\r\n");
        }
        file.close();
        m_program = std::make_unique<ProgramProcess>(QStringList{"--headless"}, m_environment);
        for (const quint16 port : std::as_const(m_ports)) {
            if (!QTest::qWaitFor([&] { return portTaken(port); }, 30000))
                return false;
        }
        // Taken, but by the program? A port it could not bind is reported on stderr.
        return !errors().contains("Address in use");
    }
    bool stop() { return stopWithCode() == 0; }
    // SIGTERM; the exit status, or -1 when the program did not end.
    int stopWithCode() { return m_program->stop(SIGTERM) ? m_program->process().exitCode() : -1; }
    QString errors() { return m_program ? m_program->err() : QString(); }
    QList<quint16> ports() const { return m_ports; }
    QString log() const { return m_folder + "/program/Process.log"; }

private:
    QString m_folder;
    QProcessEnvironment m_environment;
    std::unique_ptr<ProgramProcess> m_program;
    QList<quint16> m_ports;
};
