#include "UdpSocketElement.h"

#include "SocketErrors.h"

#include <QHostAddress>
#include <QPointer>

namespace {

// A flood on one port gives the event loop back after this many datagrams; the notifier
// fires again at once for what is left, so nothing waits longer than one turn of the loop.
constexpr int DatagramsPerTurn = 1024;

} // namespace

UdpSocketElement::UdpSocketElement(int index, QObject *parent)
    : QObject(parent)
    , m_index(index)
{
}

Status UdpSocketElement::Bind(qint64 port)
{
    if (port < 1 || port > 65535)
        return SocketErrors::invalidPort(port);
    if (m_receiver.isBound())
        return SocketErrors::alreadyBound();
    if (const Status bound = m_receiver.bind(quint16(port)); !bound)
        return bound;
    ++m_bindings;
    m_receiver.askReceiveBuffer(ReceiveBufferBytes);
    m_notifier = std::make_unique<QSocketNotifier>(m_receiver.descriptor(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &UdpSocketElement::readPending);
    emit bound(m_index, quint16(port));
    return {};
}

int UdpSocketElement::receiveBufferBytes()
{
    return m_receiver.receiveBufferBytes();
}

void UdpSocketElement::Close()
{
    const bool wasBound = m_receiver.isBound();
    m_notifier.reset(); // before the descriptor it watches goes
    m_receiver.close();
    m_current = -1;
    if (wasBound)
        emit closed(m_index);
}

int UdpSocketElement::State() const
{
    return m_receiver.isBound() ? Open : Closed;
}

quint16 UdpSocketElement::LocalPort() const
{
    return m_receiver.localPort();
}

QString UdpSocketElement::RemoteHostIP() const
{
    if (m_current < 0)
        return QString();
    return QHostAddress(m_receiver.at(m_current).senderIpv4).toString();
}

qint32 UdpSocketElement::RemotePort() const
{
    return m_current < 0 ? 0 : m_receiver.at(m_current).senderPort;
}

Status UdpSocketElement::GetData(QByteArray &data) const
{
    if (m_current < 0)
        return SocketErrors::noDatagram();
    const DatagramReceiver::Datagram datagram = m_receiver.at(m_current);
    data = QByteArray(datagram.data, datagram.size);
    return {};
}

void UdpSocketElement::readPending()
{
    QPointer<UdpSocketElement> alive(this);
    const quint64 binding = m_bindings;
    int announced = 0;
    while (announced < DatagramsPerTurn) {
        const int count = m_receiver.receive();
        if (count == 0)
            break;
        for (int i = 0; i < count; ++i, ++announced) {
            m_current = i;
            emit dataArrival(m_index, m_receiver.at(i).size);
            if (!alive)
                return; // the handler unloaded this element
            if (m_bindings != binding || !m_receiver.isBound())
                return; // closed by the handler: what it read with this batch goes with it
        }
        m_current = -1;
    }
    m_current = -1;
}
