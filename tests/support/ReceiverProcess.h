#pragma once

#include "FreePort.h"
#include "ProgramProcess.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTest>
#include <QUdpSocket>

#include <memory>

// The kernel's table line of the UDP socket bound to this port, split into its fields (the
// drop count is field 12); empty when no socket is bound to it. Reading the table, unlike
// binding a probe, does not hold the port for a moment in which a program starting would
// find it in use.
inline QList<QByteArray> udpSocketFields(quint16 port)
{
    const QByteArray wanted = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const char *table : {"/proc/net/udp", "/proc/net/udp6"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 1 && fields.at(1).endsWith(wanted))
                return fields;
        }
    }
    return {};
}

inline bool portTaken(quint16 port)
{
    return !udpSocketFields(port).isEmpty();
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

    // The folder of the registered component, where the program keeps its files.
    QString programFolder() const { return m_folder + "/program"; }

    // Ports for the next start, chosen now, for files that name them before the start.
    QList<quint16> choosePorts(int count)
    {
        while (m_ports.size() < count) {
            const quint16 port = freePortForChild(); // free, but not yet held: may repeat
            if (!m_ports.contains(port))
                m_ports << port;
        }
        return m_ports;
    }

    // Starts the program, headless with the options given, with one connection a port; false
    // when a port was not bound.
    bool start(const QStringList &connectionStrings, const QStringList &options = {})
    {
        choosePorts(int(connectionStrings.size()));
        QFile file(programFolder() + "/connections.cfg");
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        for (int i = 0; i < connectionStrings.size(); ++i)
            file.write("Port=" + QByteArray::number(m_ports.at(i)) +
                       ",Database=" + connectionStrings.at(i).toUtf8() +
                       ",Logon=False,Log=" + log().toUtf8() + "\r\n");
        file.close();
        m_program =
            std::make_unique<ProgramProcess>(QStringList{"--headless"} + options, m_environment);
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
    ProgramProcess &program() { return *m_program; }
    QList<quint16> ports() const { return m_ports; }
    QString log() const { return programFolder() + "/Process.log"; }

private:
    QString m_folder;
    QProcessEnvironment m_environment;
    std::unique_ptr<ProgramProcess> m_program;
    QList<quint16> m_ports;
};
