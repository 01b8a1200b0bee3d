#include "MetricsStart.h"

#include "state/MainModule.h"

#include <QTextStream>

std::unique_ptr<MetricsServer> startMetrics(const MetricsAddress &address, MainModule &state,
                                            ScoringComponentFactory &factory)
{
    // Health tells from the start whether the component loads, not from the first datagram.
    factory.load(state.ScoreProgId);
    const BoundPorts &ports = state.udpPeerB.boundPorts();
    auto server = std::make_unique<MetricsServer>(
        [&ports, &factory] { return takeSnapshot(ports, factory); });
    const QString host = address.host.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + address.host.toString() + QLatin1Char(']')
                             : address.host.toString();
    if (const Status listening = server->listen(address); !listening) {
        const QString why = QStringLiteral("The metrics and health pages can not be served on "
                                           "%1:%2: %3 %4. Datagrams are still taken.")
                                .arg(host)
                                .arg(address.port)
                                .arg(listening.error().number)
                                .arg(listening.error().description);
        state.Label1.setCaption(why);
        QTextStream(stderr) << "varnock_udp: " << why << Qt::endl;
        return nullptr;
    }
    QTextStream(stderr) << "varnock_udp: metrics on http://" << host << ':' << server->port()
                        << "/metrics, health on /healthz" << Qt::endl;
    return server;
}
