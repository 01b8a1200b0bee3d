#include "DatagramIntake.h"

#include "DroppedDatagram.h"
#include "RefusedDatagrams.h"

#include "state/TextFunctions.h"

namespace {

constexpr qint32 NoConnectionRow = 35601; // "Element not found", as the list reported it
constexpr qint64 RefusalShownMs = 5000;

} // namespace

DatagramIntake::DatagramIntake(MainModule &state, ScoringComponentFactory &factory, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_factory(factory)
{
    connect(&m_state.udpPeerB, &UdpSocketArray::DataArrival, this, &DatagramIntake::onDataArrival);
    connect(&m_state.udpPeerB, &UdpSocketArray::DatagramsRefused, this,
            &DatagramIntake::onDatagramsRefused);
}

void DatagramIntake::onDatagramsRefused(int index, quint16 port, qint64 budgetBytes)
{
    ++m_refusalSpells;
    m_state.Label1.setCaption(refusedDatagramsText(port, index, budgetBytes));
    m_refusalShown.start();
}

void DatagramIntake::announce(int row, qint64 bytes)
{
    if (m_refusalShown.isValid()) {
        if (m_refusalShown.elapsed() < RefusalShownMs)
            return;
        m_refusalShown.invalidate();
    }
    m_state.Label1.setCaption(
        m_arrivalText.announce(m_state.ListView1.row(row).text, PeerIP, PeerPort, bytes));
}

void DatagramIntake::onDataArrival(int index, qint64 bytesTotal)
{
    const Status status = intake(index, bytesTotal);
    DataBytes = QByteArray(1, '\0'); // nothing of the datagram is held until the next one
    if (status) {
        ++m_handedOver;
        return;
    }
    ++m_dropped;
    const UdpSocketElement *element = m_state.udpPeerB.element(index);
    const QString port = element ? QString::number(element->LocalPort()) : QStringLiteral("?");
    m_state.Label1.setCaption(droppedDatagramText(status.error(), bytesTotal, port, index));
}

Status DatagramIntake::intake(int index, qint64 bytesTotal)
{
    DataBytes.resize(bytesTotal);
    const int row = m_state.ListView1.find(ConnKey(index));
    if (row < 0)
        return ErrorInfo{
            NoConnectionRow,
            QStringLiteral("Element not found: no connection row %1").arg(ConnKey(index))};
    const Result<UdpSocketElement *> element = m_state.udpPeerB.at(index);
    if (!element)
        return element.error();
    if (const Status fetched = (*element)->GetData(DataBytes); !fetched)
        return fetched;
    PeerIP = (*element)->RemoteHostIP();
    PeerPort = (*element)->RemotePort();
    CurPort = (*element)->LocalPort();

    announce(row, bytesTotal);
    return handOver(index, row, DataBytes);
}

Result<bool> DatagramIntake::handOverLine(int index, const QString &peerIp, qint32 peerPort,
                                          qint32 localPort, QByteArrayView line)
{
    const int row = m_state.ListView1.find(ConnKey(index));
    if (row < 0)
        return ErrorInfo{
            NoConnectionRow,
            QStringLiteral("Element not found: no connection row %1").arg(ConnKey(index))};
    PeerIP = peerIp;
    PeerPort = peerPort;
    CurPort = localPort;
    announce(row, line.size());
    if (const Status status = handOver(index, row, line); !status) {
        ++m_dropped;
        return status.error();
    }
    ++m_handedOver;
    return !Scorer.refusedSender();
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
        step = Scorer.setSenderIP(PeerIP);
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
