#include "DatagramIntake.h"

#include "DroppedDatagram.h"
#include "RefusedDatagrams.h"

#include "state/TextFunctions.h"

#include <QElapsedTimer>
#include <QTextStream>

namespace {

constexpr qint32 NoConnectionRow = 35601; // "Element not found", as the list reported it

} // namespace

DatagramIntake::DatagramIntake(MainModule &state, ScoringComponentFactory &factory, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_factory(factory)
    , m_kernelDrops(state)
{
    connect(&m_state.udpPeerB, &UdpSocketArray::DataArrival, this, &DatagramIntake::onDataArrival);
    connect(&m_state.udpPeerB, &UdpSocketArray::DatagramsRefused, this,
            &DatagramIntake::onDatagramsRefused);
    connect(&m_state.udpPeerB, &UdpSocketArray::KernelDropped, this,
            &DatagramIntake::onKernelDropped);
}

void DatagramIntake::onKernelDropped(int index, quint16 port, quint64 newDrops)
{
    m_kernelDrops.dropped(index, port, newDrops);
}

// Once a spell: the status line says it until the next datagram is announced, and standard
// error keeps it, since every datagram rewrites the status line.
void DatagramIntake::onDatagramsRefused(int index, quint16 port, qint64 budgetBytes)
{
    ++m_refusalSpells;
    const QString text = refusedDatagramsText(port, index, budgetBytes);
    m_state.Label1.setCaption(text);
    QTextStream(stderr) << "varnock_udp: " << text << Qt::endl;
}

void DatagramIntake::announce(int row, qint64 bytes)
{
    m_state.Label1.setCaption(
        m_arrivalText.announce(m_state.ListView1.row(row).text, PeerIP, PeerPort, bytes));
}

void DatagramIntake::onDataArrival(int index, qint64 bytesTotal)
{
    m_handOverMs = -1;
    const Status status = intake(index, bytesTotal);
    DataBytes = QByteArray(1, '\0'); // nothing of the datagram is held until the next one
    const UdpSocketElement *element = m_state.udpPeerB.element(index);
    PortCounters *counters = element ? element->counters() : nullptr;
    if (status) {
        ++m_handedOver;
        if (counters)
            PortCounters::count(Scorer.refusedSender() ? counters->datagramsRefusedSender
                                                       : counters->datagramsHandedOver);
    } else {
        ++m_dropped;
        if (counters)
            PortCounters::count(counters->datagramsNotHandedOver);
        const QString port = element ? QString::number(element->LocalPort()) : QStringLiteral("?");
        m_state.Label1.setCaption(droppedDatagramText(status.error(), bytesTotal, port, index));
    }
    watchHandOver();
}

// A slow component is told in the status line and, as it stops every port, on standard
// error too; the status line goes back to announcing datagrams with the next one.
void DatagramIntake::watchHandOver()
{
    if (m_handOverMs < 0)
        return;
    const QString notice = m_slowWatch.handedOver(m_handOverMs, CurPort);
    if (notice.isEmpty())
        return;
    m_state.Label1.setCaption(notice);
    QTextStream(stderr) << notice << Qt::endl;
}

QString DatagramIntake::connKey(int index)
{
    if (index < 0)
        return ConnKey(index);
    while (m_connKeys.size() <= index)
        m_connKeys.append(ConnKey(qint32(m_connKeys.size())));
    return m_connKeys[index];
}

Status DatagramIntake::intake(int index, qint64 bytesTotal)
{
    DataBytes.resize(bytesTotal);
    const int row = m_state.ListView1.find(connKey(index));
    if (row < 0)
        return ErrorInfo{
            NoConnectionRow,
            QStringLiteral("Element not found: no connection row %1").arg(connKey(index))};
    const Result<UdpSocketElement *> element = m_state.udpPeerB.at(index);
    if (!element)
        return element.error();
    if (const Status fetched = (*element)->GetData(DataBytes); !fetched)
        return fetched;
    PeerIP = (*element)->RemoteHostIP();
    PeerPort = (*element)->RemotePort();
    CurPort = (*element)->LocalPort();

    announce(row, bytesTotal);
    return timedHandOver(index, row, DataBytes);
}

Result<bool> DatagramIntake::handOverLine(int index, const QString &peerIp, qint32 peerPort,
                                          qint32 localPort, QByteArrayView line)
{
    const int row = m_state.ListView1.find(connKey(index));
    if (row < 0)
        return ErrorInfo{
            NoConnectionRow,
            QStringLiteral("Element not found: no connection row %1").arg(connKey(index))};
    PeerIP = peerIp;
    PeerPort = peerPort;
    CurPort = localPort;
    const UdpSocketElement *element = m_state.udpPeerB.element(index);
    PortCounters *counters = element ? element->counters() : nullptr;
    if (counters)
        PortCounters::count(counters->linesReceived);
    announce(row, line.size());
    m_handOverMs = -1;
    const Status status = timedHandOver(index, row, line);
    watchHandOver();
    const bool taken = status && !Scorer.refusedSender();
    if (counters)
        PortCounters::count(taken ? counters->linesHandedOver : counters->linesNotHandedOver);
    if (!status) {
        ++m_dropped;
        return status.error();
    }
    ++m_handedOver;
    return taken;
}

Status DatagramIntake::timedHandOver(int index, int row, QByteArrayView payload)
{
    QElapsedTimer clock;
    clock.start();
    const Status handedOver = handOver(index, row, payload);
    m_handOverMs = clock.elapsed();
    return handedOver;
}

Status DatagramIntake::handOver(int index, int row, QByteArrayView payload)
{
    if (!m_state.hasConnSlot(index))
        return ErrorInfo{9, QStringLiteral("Subscript out of range: connection %1 is above the "
                                           "highest connection number %2")
                                .arg(index)
                                .arg(m_state.MaxCon)};
    Result<ScoringComponent> created = m_factory.create(m_state.ScoreProgId);
    if (!created)
        return created.error();
    Scorer = std::move(*created);

    const ConnectionRow &connection = m_state.ListView1.row(row);
    // The order of the calls is part of the contract with the component.
    Status step = Scorer.setConnectionString(m_connectionString.of(m_state.ConnStrings.at(index)));
    if (step)
        step = Scorer.setListenPort(CurPort);
    if (step)
        step = Scorer.setSenderIP(m_senderIp.of(PeerIP));
    if (step)
        step = Scorer.setSenderPort(PeerPort);
    if (step)
        step = Scorer.setLogPath(m_logPath.of(connection.log));
    if (step)
        step = Scorer.setRawMode(m_state.RawLogging);
    if (step)
        step = Scorer.setPayload(payload);
    if (step)
        step = Scorer.Process();
    return step;
}
