#pragma once

#include "DatagramReceiver.h"
#include "Result.h"

#include <QObject>
#include <QSocketNotifier>

#include <memory>

// One element of the socket control array: a UDP socket bound to one local port.
// Every pending datagram is announced by its own dataArrival, in the order of arrival; the
// handler fetches it with GetData and reads the sender from RemoteHostIP/RemotePort, as the
// control array did. Underneath, the waiting datagrams are read in batches.
class UdpSocketElement : public QObject
{
    Q_OBJECT

public:
    enum StateValue { Closed = 0, Open = 1 };

    // The kernel receive buffer asked for: bursts from busy servers must not be dropped. The
    // kernel counts each datagram at about 768 bytes whatever its length (and doubles what
    // it grants), so 48 MiB hold a burst of about 125,000 log lines. It is only filled while
    // the program falls behind.
    static constexpr int ReceiveBufferBytes = 48 * 1024 * 1024;

    explicit UdpSocketElement(int index, QObject *parent = nullptr);

    int index() const { return m_index; }

    // Binds to the port on every IPv4 address without address sharing, so a port held by
    // another element or another program fails with "Address in use".
    Status Bind(qint64 port);
    void Close();
    int State() const;
    // 0 when the element is not bound.
    quint16 LocalPort() const;

    // Describe the datagram most recently announced.
    QString RemoteHostIP() const;
    qint32 RemotePort() const;
    Status GetData(QByteArray &data) const;

    // What the kernel granted for the receive buffer, in bytes (0 when unbound).
    int receiveBufferBytes();

signals:
    void dataArrival(int index, qint64 bytesTotal);
    // The element took its port, or gave it up: what else listens on the port follows.
    void bound(int index, quint16 port);
    void closed(int index);

private:
    void readPending();

    int m_index;
    DatagramReceiver m_receiver;
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_current = -1;     // the datagram of the batch being announced
    quint64 m_bindings = 0; // tells a batch from before a Close from one after it
};
