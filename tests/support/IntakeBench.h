#pragma once

#include "FreePort.h"
#include "RecordingLog.h"

#include "intake/ComponentLibrary.h"
#include "intake/DatagramIntake.h"
#include "intake/ScoringComponentFactory.h"
#include "state/MainModule.h"
#include "state/TextFunctions.h"

#include <QTemporaryDir>
#include <QUdpSocket>

// The program's intake in a folder of its own, handing datagrams to the recording component,
// which notes every call it gets in recording(); a sender on 127.0.0.1.
class IntakeBench
{
public:
    IntakeBench()
    {
        qputenv("RECORDING_COMPONENT_LOG", recording().toLocal8Bit());
        sender.bind(QHostAddress::LocalHost, 0);
    }

    // Makes the recording component the registered scoring component.
    static bool registerRecordingComponent()
    {
        return registerComponentLibrary(QStringLiteral(RECORDING_COMPONENT_PATH), ClassRegistry())
            .ok();
    }

    // The calls the component gets for each datagram, in order.
    static inline const QStringList Calls = {"Create",   "ConnectionString", "ListenPort",
                                             "SenderIP", "SenderPort",       "LogPath",
                                             "RawMode",  "Payload",          "Process"};

    // Connection n with its row, on a free port; 0 when none was bound.
    quint16 listen(int n, const QString &connString, const QString &log)
    {
        state.ConnStrings[n] = connString;
        if (!state.udpPeerB.Load(n).ok() || !state.udpPeerB.element(n)->Bind(freePort()).ok())
            return 0;
        const quint16 port = state.udpPeerB.element(n)->LocalPort();
        state.ListView1.add(
            {ConnKey(n), QString::number(port), connString, QStringLiteral("False"), log});
        return port;
    }

    QString recording() const { return dir.filePath(QStringLiteral("calls.log")); }
    QList<RecordedInstance> recorded() const { return readRecording(recording()); }

    QTemporaryDir dir;
    MainModule state;
    ScoringComponentFactory factory;
    DatagramIntake intake{state, factory};
    QUdpSocket sender;
};
