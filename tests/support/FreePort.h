#pragma once

#include <QUdpSocket>

// A UDP port nobody holds right now.
inline quint16 freePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::AnyIPv4, 0);
    return probe.localPort();
}
