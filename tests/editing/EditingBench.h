#pragma once

#include "FreePort.h"
#include "IntakeBench.h"
#include "ScriptedOperator.h"
#include "SqliteFile.h"

#include "editing/EditingContext.h"
#include "platform/EmptyDatabaseFile.h"
#include "platform/SqlConnection.h"
#include "state/TextFunctions.h"

#include <QTest>

// A running program's connection table in a folder of its own: real sockets on real ports,
// datagrams handed to the recording component, real database files, and a scripted operator
// for the Tools commands.
class EditingBench : public IntakeBench
{
public:
    EditingBench()
    {
        state.AppPath = dir.path();
        state.DefaultAppPath = dir.filePath(QStringLiteral("default"));
    }

    QString cfgPath() const { return QDir(state.AppPath).filePath(state.CfgFile); }
    QString backupPath() const { return dir.filePath(QStringLiteral("connections.old")); }

    // A new, empty database file and the connection string that names it.
    QString newDatabase(const QString &name, const QString &extra = QString()) const
    {
        const QString path = dir.filePath(name);
        createEmptyDatabaseFile(path);
        return QStringLiteral("Provider=SQLite;Data Source=") + path + extra;
    }

    // Connection n as start-up leaves it: its row and connection string, and its socket
    // bound to port (loaded but unbound for a port of 0; not loaded at all when !loaded).
    void addConnection(qint32 n, quint16 port, const QString &connString,
                       const QString &log = QStringLiteral("/logs/a.log"), bool loaded = true)
    {
        state.ConnStrings[n] = connString;
        state.ListView1.add({ConnKey(n), QString::number(port),
                             StripSegment(connString, QStringLiteral(";Persist Security Info=")),
                             QStringLiteral("False"), log});
        if (loaded)
            state.activateSocket(n, QString::number(port));
    }

    void send(quint16 port, const QByteArray &datagram)
    {
        sender.writeDatagram(datagram, QHostAddress::LocalHost, port);
    }

    // Sends datagram to port and waits for the scoring component to be handed it; what it was
    // handed with, or an empty record when it never came.
    RecordedInstance sendAndWait(quint16 port, const QByteArray &datagram)
    {
        send(port, datagram);
        for (int turn = 0; turn < 2000; ++turn) {
            for (const RecordedInstance &instance : recorded()) {
                if (instance.payload() == datagram)
                    return instance;
            }
            QTest::qWait(5);
        }
        return {};
    }

    // The payloads the scoring component was handed, in order.
    QList<QByteArray> payloads() const
    {
        QList<QByteArray> seen;
        for (const RecordedInstance &instance : recorded())
            seen.append(instance.payload());
        return seen;
    }

    // Whether a socket (the program's or another's) holds the port: then no other can bind it,
    // and a datagram sent to a port that nothing holds is gone at once.
    static bool portHeld(quint16 port)
    {
        QUdpSocket probe;
        return !probe.bind(QHostAddress::AnyIPv4, port, QAbstractSocket::DontShareAddress);
    }

    ScriptedOperator op;
    DbConnectionFactory databases = newSqlConnection;
    QString selected;
    QStringList captions;
    int endings = 0;
    EditingContext context{state,
                           op,
                           databases,
                           [this] { return selected; },
                           [this](const QString &caption) { captions.append(caption); },
                           [this] { ++endings; }};
};
