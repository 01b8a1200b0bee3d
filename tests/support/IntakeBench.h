#pragma once

#include "RecordingLog.h"

#include "intake/ComponentLibrary.h"
#include "intake/DatagramIntake.h"
#include "intake/ScoringComponentFactory.h"
#include "state/MainModule.h"

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

    QString recording() const { return dir.filePath(QStringLiteral("calls.log")); }
    QList<RecordedInstance> recorded() const { return readRecording(recording()); }

    QTemporaryDir dir;
    MainModule state;
    ScoringComponentFactory factory;
    DatagramIntake intake{state, factory};
    QUdpSocket sender;
};
