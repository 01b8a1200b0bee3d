#pragma once

#include "MetricsAddress.h"
#include "MetricsSnapshot.h"

#include <functional>

struct MHD_Daemon;
struct MHD_Connection;

// Serves /metrics (Prometheus text) and /healthz on the operator's address, on the HTTP
// library's own thread: a scrape never waits for the program's thread, nor it for a scrape.
// The snapshot source is called on that thread.
class MetricsServer
{
public:
    using Source = std::function<MetricsSnapshot()>;

    explicit MetricsServer(Source source);
    ~MetricsServer();
    MetricsServer(const MetricsServer &) = delete;
    MetricsServer &operator=(const MetricsServer &) = delete;

    Status listen(const MetricsAddress &address);
    void close();
    // The port listened on (the one taken, when 0 was asked for); 0 when not listening.
    quint16 port() const { return m_port; }

private:
    friend struct MetricsServerCallbacks;
    bool answer(MHD_Connection *connection, const char *url, const char *method);

    Source m_source;
    MHD_Daemon *m_daemon = nullptr;
    quint16 m_port = 0;
};
