#pragma once

#include <QRandomGenerator>
#include <QUdpSocket>

// A UDP port nobody holds right now.
inline quint16 freePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::AnyIPv4, 0);
    return probe.localPort();
}

// A free UDP port below the range the kernel hands out for bind(0) (32768 and up), for a
// port that a child process binds a while later: no socket of a test running alongside can
// be given it in the meantime.
inline quint16 freePortForChild()
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        const auto candidate = quint16(QRandomGenerator::global()->bounded(20000, 32000));
        QUdpSocket probe;
        if (probe.bind(QHostAddress::AnyIPv4, candidate, QUdpSocket::DontShareAddress))
            return candidate;
    }
    return freePort();
}
