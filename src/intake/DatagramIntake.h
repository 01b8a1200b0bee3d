#pragma once

#include "ArrivalText.h"
#include "KernelDropNotes.h"
#include "ScoringComponent.h"
#include "ScoringComponentFactory.h"
#include "SlowComponentWatch.h"
#include "Utf8Text.h"

#include "state/MainModule.h"

#include <QElapsedTimer>
#include <QObject>

// Hands every datagram that arrives on a connection's socket element, with that
// connection's settings, to a fresh scoring component instance. A failure drops the one
// datagram, shows why in the status line and keeps receiving.
class DatagramIntake : public QObject
{
    Q_OBJECT

public:
    DatagramIntake(MainModule &state, ScoringComponentFactory &factory, QObject *parent = nullptr);

    void onDataArrival(int index, qint64 bytesTotal);
    // The reader's budget is full: says so in the status line, once per spell and port. The
    // arrivals that follow leave that text standing for a few seconds, or nobody could read it.
    void onDatagramsRefused(int index, quint16 port, qint64 budgetBytes);
    void onKernelDropped(int index, quint16 port, quint64 newDrops);
    // Before the ports close at the end of a run: what the kernel dropped on each.
    void reportEndOfRun() { m_kernelDrops.endOfRun(); }

    // A log line that came by another way than a datagram (an HTTP post), handed over
    // exactly as a datagram from peerIp:peerPort to localPort on connection index would be,
    // announced in the status line the same way. True when the component took it, false
    // when it would not take the sender; a failure says why.
    Result<bool> handOverLine(int index, const QString &peerIp, qint32 peerPort, qint32 localPort,
                              QByteArrayView line);

    quint64 handedOver() const { return m_handedOver; }
    quint64 dropped() const { return m_dropped; }
    // Spells of refusal announced in the status line.
    quint64 refusalSpells() const { return m_refusalSpells; }

private:
    Status intake(int index, qint64 bytesTotal);
    void announce(int row, qint64 bytes);
    Status handOver(int index, int row, QByteArrayView payload);
    Status timedHandOver(int index, int row, QByteArrayView payload);
    void watchHandOver();
    // The connection row key of a socket element, made once per element: a busy port asks for
    // it with every datagram.
    QString connKey(int index);

    MainModule &m_state;
    ScoringComponentFactory &m_factory;
    ArrivalText m_arrivalText;
    KernelDropNotes m_kernelDrops;
    SlowComponentWatch m_slowWatch;
    qint64 m_handOverMs = -1; // of the datagram being taken in; -1: not handed over
    Utf8Text m_connectionString;
    Utf8Text m_logPath;
    Utf8Text m_senderIp; // dotted digits: the same in UTF-8 and Latin-1
    QList<QString> m_connKeys;

    // The values of the last datagram; the instance lives until the next one replaces it.
    QByteArray DataBytes;
    QString PeerIP;
    qint32 PeerPort = 0;
    qint32 CurPort = 0;
    ScoringComponent Scorer;

    quint64 m_handedOver = 0;
    quint64 m_dropped = 0;
    quint64 m_refusalSpells = 0;
};
