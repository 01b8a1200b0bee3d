#pragma once

#include "HttpTuning.h"
#include "StatsServer.h"
#include "platform/Result.h"

#include <QHostAddress>

struct MHD_Daemon;

// The HTTP side of the pages: GET and HEAD, answered by a pool of threads, with the
// timeouts, connection limits and size limits of HttpTuning. The protocol is the HTTP
// library's (libmicrohttpd), which a thread pool, per-address limits and memory bounds per
// connection come with.
class StatsHttpServer
{
public:
    StatsHttpServer(const StatsServer &pages, HttpTuning tuning);
    ~StatsHttpServer();
    StatsHttpServer(const StatsHttpServer &) = delete;
    StatsHttpServer &operator=(const StatsHttpServer &) = delete;

    // Binds address:port and starts answering; the reason when it cannot.
    Status listen(const QHostAddress &address, quint16 port);
    void stop();

private:
    friend struct StatsHttpCallbacks;

    const StatsServer &m_pages;
    HttpTuning m_tuning;
    MHD_Daemon *m_daemon = nullptr;
};

// What the server may hold at once under the process's file limit, raised to its hard
// limit first.
unsigned connectionsTheFileLimitAllows(unsigned wanted);
