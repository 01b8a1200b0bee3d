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

// Suites that start the program on its default port 28000 need it free: were another
// program holding it, they would fail without saying why and send to a stranger. They
// skip instead, naming the port.
inline QByteArray defaultPortHeldBy()
{
    QUdpSocket probe;
    if (probe.bind(QHostAddress::AnyIPv4, 28000, QUdpSocket::DontShareAddress))
        return {};
    return "UDP port 28000 is held by another program (" + probe.errorString().toUtf8() +
           "); these tests start the program on its default port and are skipped. Stop that "
           "program and run them again.";
}
