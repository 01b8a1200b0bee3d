#include "UdpSocketElement.h"

#include "DatagramReader.h"
#include "KernelDrops.h"
#include "SocketErrors.h"

#include <QHostAddress>
#include <QPointer>

#include <cerrno>
#include <cstring>

namespace {

// A flood on one port gives the event loop back after this many datagrams; the element wakes
// itself for what is left, so nothing waits longer than one turn of the loop.
constexpr int DatagramsPerTurn = 1024;

} // namespace

UdpSocketElement::UdpSocketElement(int index, QObject *parent, BoundPorts *ports)
    : QObject(parent)
    , m_index(index)
    , m_ports(ports)
{
}

UdpSocketElement::~UdpSocketElement()
{
    // The reader must let go of the socket before it is closed; nothing is announced now.
    if (m_readerId)
        DatagramReader::shared().stop(m_readerId);
    if (m_ports && m_counters)
        m_ports->remove(m_index);
}

Status UdpSocketElement::Bind(qint64 port)
{
    if (port < 1 || port > 65535)
        return SocketErrors::invalidPort(port);
    if (m_socket.isBound())
        return SocketErrors::alreadyBound();
    if (const Status bound = m_socket.bind(quint16(port), ReceiveBufferBytes, PortBufferBytes);
        !bound)
        return bound;
    DatagramReader &reader = DatagramReader::shared();
    auto inbox = std::make_shared<DatagramInbox>(reader.budget());
    if (inbox->wakeDescriptor() < 0) {
        const int error = errno;
        m_socket.close();
        return SocketErrors::fromErrno(error);
    }
    m_readerId = reader.start(m_socket.descriptors(), inbox);
    if (!m_readerId) {
        m_socket.close();
        return SocketErrors::readerFailed();
    }
    m_inbox = std::move(inbox);
    ++m_bindings;
    m_spellsSeen = 0;
    m_kernelDropsSeen = 0;
    m_counters = std::make_shared<PortCounters>();
    if (m_ports)
        m_ports->add({m_index, quint16(port), socketInodes(), m_inbox, m_counters});
    m_notifier =
        std::make_unique<QSocketNotifier>(m_inbox->wakeDescriptor(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &UdpSocketElement::readPending);
    emit bound(m_index, quint16(port));
    return {};
}

std::vector<quint64> UdpSocketElement::socketInodes() const
{
    std::vector<quint64> inodes;
    for (const int fd : m_socket.descriptors())
        inodes.push_back(socketInode(fd));
    return inodes;
}

int UdpSocketElement::receiveBufferBytes()
{
    return m_socket.receiveBufferBytes();
}

quint64 UdpSocketElement::refusedCount() const
{
    return m_inbox ? m_inbox->refused() : 0;
}

quint64 UdpSocketElement::kernelDrops() const
{
    if (!m_inbox)
        return 0;
    return std::max(m_inbox->kernelDrops(), kernelDropsInTable(socketInodes()));
}

void UdpSocketElement::Close()
{
    const bool wasBound = m_socket.isBound();
    // The reader lets go of the socket before it is closed, so the port is free at once and
    // no read can reach a descriptor number that is used again.
    if (m_readerId)
        DatagramReader::shared().stop(m_readerId);
    m_readerId = 0;
    m_notifier.reset(); // before the descriptor it watches goes
    m_socket.close();
    if (m_ports && m_counters)
        m_ports->remove(m_index);
    m_counters.reset();
    m_inbox.reset(); // what it held is dropped, and its budget given back
    m_block = DatagramBlock();
    m_announcing = false;
    if (wasBound)
        emit closed(m_index);
}

int UdpSocketElement::State() const
{
    return m_socket.isBound() ? Open : Closed;
}

quint16 UdpSocketElement::LocalPort() const
{
    return m_socket.localPort();
}

QString UdpSocketElement::RemoteHostIP() const
{
    if (!m_announcing)
        return QString();
    if (m_senderText.isNull() || m_senderIpv4 != m_current.senderIpv4) {
        m_senderIpv4 = m_current.senderIpv4;
        m_senderText = QHostAddress(m_senderIpv4).toString();
    }
    return m_senderText;
}

qint32 UdpSocketElement::RemotePort() const
{
    return m_announcing ? m_current.senderPort : 0;
}

Status UdpSocketElement::GetData(QByteArray &data) const
{
    if (!m_announcing)
        return SocketErrors::noDatagram();
    // Into the caller's room, which a stream of datagrams reuses: no allocation for each.
    data.resize(m_current.size);
    std::memcpy(data.data(), m_current.data, std::size_t(m_current.size));
    return {};
}

void UdpSocketElement::readPending()
{
    if (!m_inbox)
        return;
    m_inbox->clearWake();
    QPointer<UdpSocketElement> alive(this);
    const quint64 binding = m_bindings;
    int announced = 0;
    while (announced < DatagramsPerTurn) {
        if (!m_block.next(m_current)) {
            if (!m_inbox->take(m_block)) {
                m_block = DatagramBlock(); // its memory and budget go back now
                break;
            }
            continue;
        }
        m_announcing = true;
        ++announced;
        emit dataArrival(m_index, m_current.size);
        if (!alive)
            return; // the handler unloaded this element
        if (m_bindings != binding || !m_socket.isBound())
            return; // closed by the handler: what the reader held for it went with the Close
        m_announcing = false;
    }
    m_announcing = false;
    if (announced == DatagramsPerTurn)
        m_inbox->wake(); // the rest on the loop's next turn
    noteRefusals();
    noteKernelDrops();
}

void UdpSocketElement::noteRefusals()
{
    const quint64 spells = m_inbox->refusalSpells();
    if (spells == m_spellsSeen)
        return;
    m_spellsSeen = spells;
    emit refusing(m_index, m_socket.localPort(), DatagramReader::shared().budget().limitBytes());
}

void UdpSocketElement::noteKernelDrops()
{
    const quint64 drops = m_inbox->kernelDrops();
    if (drops == m_kernelDropsSeen)
        return;
    const quint64 newDrops = drops - m_kernelDropsSeen;
    m_kernelDropsSeen = drops;
    emit kernelDropped(m_index, m_socket.localPort(), newDrops);
}
