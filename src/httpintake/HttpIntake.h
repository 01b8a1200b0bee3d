#pragma once

#include "HttpLimits.h"
#include "HttpLogServer.h"
#include "StreamOffsets.h"

#include <QElapsedTimer>
#include <QObject>

#include <map>
#include <memory>

class DatagramIntake;
class MainModule;

// Game servers that post their log over HTTP (TCP, at a connection's port number) have each
// line handed over as a datagram on that connection would be. A port listens for HTTP while
// its socket element is bound; where TCP cannot listen, datagrams still arrive and the
// status line, standard error and the connection's log file say why.
class HttpIntake : public QObject
{
    Q_OBJECT

public:
    HttpIntake(MainModule &state, DatagramIntake &intake, HttpLimits limits = {},
               QObject *parent = nullptr);
    ~HttpIntake() override;

    // The port connection index listens on for HTTP, 0 when none.
    quint16 port(int index) const;

    // Why the last port that could not listen for HTTP could not, empty when all could.
    const QString &lastFailure() const { return m_lastFailure; }
    quint64 gaps() const { return m_gaps; }

private:
    void onBound(int index, quint16 port);
    void onClosed(int index);
    HttpAnswer onPost(int index, const LogPost &post);
    void noteGap(int index, const LogPost &post, qint64 bytes);
    QString logPath(int index) const;

    MainModule &m_state;
    DatagramIntake &m_intake;
    HttpLimits m_limits;
    std::map<int, std::unique_ptr<HttpLogServer>> m_servers;
    StreamOffsets m_offsets;
    struct GapNotes
    {
        QElapsedTimer last;
        quint64 unnoted = 0;
    };
    std::map<int, GapNotes> m_gapNotes;
    QString m_lastFailure;
    quint64 m_gaps = 0;
};
