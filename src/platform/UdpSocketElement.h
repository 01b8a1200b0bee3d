#pragma once

#include "BoundPorts.h"
#include "DatagramBlock.h"
#include "DatagramInbox.h"
#include "DatagramSocket.h"
#include "Result.h"

#include <QObject>
#include <QSocketNotifier>

#include <memory>
#include <vector>

// One element of the socket control array: a UDP socket bound to one local port.
// Every pending datagram is announced by its own dataArrival, in the order of arrival; the
// handler fetches it with GetData and reads the sender from RemoteHostIP/RemotePort, as the
// control array did. Underneath, the shared reader thread reads the socket into the element's
// inbox, so the kernel's buffer only has to hold what arrives while that thread waits for
// its turn on a core.
class UdpSocketElement : public QObject
{
    Q_OBJECT

public:
    enum StateValue { Closed = 0, Open = 1 };

    // The kernel receive buffer asked for. The reader thread takes bursts into the program's
    // memory; this covers the moments it waits for a core. The kernel counts each datagram at
    // about 768 bytes whatever its length; without the privilege to pass net.core.rmem_max it
    // grants that much instead.
    static constexpr int ReceiveBufferBytes = 48 * 1024 * 1024;
    // What a port's sockets hold together at least: when one socket gets less, more share the
    // port. About 20,000 datagrams: 100 ms at 200,000 a second, longer than this machine's
    // other work has kept the reader from a core.
    static constexpr int PortBufferBytes = 16 * 1024 * 1024;

    // ports, when given, lists the element while it is bound.
    explicit UdpSocketElement(int index, QObject *parent = nullptr, BoundPorts *ports = nullptr);
    ~UdpSocketElement() override;

    int index() const { return m_index; }

    // Binds to the port on every IPv4 address, so a port held by another element or another
    // program fails with "Address in use" (sockets of its own that share the port find out
    // before they bind).
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
    // Datagrams read while the reader's budget was spent, and dropped, since the last Bind.
    quint64 refusedCount() const;
    // Datagrams the kernel dropped on the port since the last Bind: what reads have told,
    // or the socket's counter in the kernel's table when that says more (it also counts
    // drops no read has told of yet). 0 when unbound.
    quint64 kernelDrops() const;
    // The hand-over's counters while bound, nullptr when unbound.
    PortCounters *counters() const { return m_counters.get(); }

signals:
    void dataArrival(int index, qint64 bytesTotal);
    // The element took its port, or gave it up: what else listens on the port follows.
    void bound(int index, quint16 port);
    void closed(int index);
    // Datagrams on the port are being refused: the reader's budget of budgetBytes is full of
    // datagrams not yet handed over. Once per spell of refusals (see DatagramInbox).
    void refusing(int index, quint16 port, qint64 budgetBytes);
    // The kernel dropped datagrams on the port before they could be read: newDrops since the
    // last signal, as the reads that followed the drops told.
    void kernelDropped(int index, quint16 port, quint64 newDrops);

private:
    std::vector<quint64> socketInodes() const;
    void readPending();
    void noteRefusals();
    void noteKernelDrops();

    int m_index;
    DatagramSocket m_socket;
    std::shared_ptr<DatagramInbox> m_inbox; // shared with the reader thread while bound
    quint64 m_readerId = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    DatagramBlock m_block;  // taken from the inbox, being announced
    DatagramView m_current; // the datagram being announced
    // The last sender's address as text: a stream comes from one server, and making the
    // text anew cost as much as a tenth of the program's work per datagram.
    mutable quint32 m_senderIpv4 = 0;
    mutable QString m_senderText;
    bool m_announcing = false;
    quint64 m_bindings = 0; // tells a batch from before a Close from one after it
    quint64 m_spellsSeen = 0;
    quint64 m_kernelDropsSeen = 0;
    BoundPorts *m_ports;
    std::shared_ptr<PortCounters> m_counters;
};
