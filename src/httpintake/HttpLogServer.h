#pragma once

#include "HttpAnswer.h"
#include "HttpLimits.h"
#include "LogPost.h"

#include "platform/Result.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <functional>
#include <memory>

struct MHD_Daemon;
struct MHD_Connection;

// Takes HTTP log posts on one TCP port and answers each with what the handler says. The
// protocol, the limits and the timeouts are the HTTP library's; it runs on the thread that
// owns this object, driven by the event loop, so every post reaches the handler on the
// program's thread, one at a time, in the order its body completed.
class HttpLogServer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<HttpAnswer(const LogPost &)>;

    HttpLogServer(Handler handler, HttpLimits limits, QObject *parent = nullptr);
    ~HttpLogServer() override;

    // Listens on the port on every IPv4 address; a port another program holds fails with
    // "Address in use". Anything the server held before is closed first.
    Status listen(quint16 port);
    void close();
    quint16 port() const { return m_port; }

private:
    friend struct HttpLogServerCallbacks;
    struct Request;

    bool onHeaders(MHD_Connection *connection, const char *method, Request &request);
    bool onAccess(MHD_Connection *connection, const char *method, const char *uploadData,
                  size_t *uploadSize, Request *&request);
    bool answer(MHD_Connection *connection, const HttpAnswer &answer);
    LogPost post(MHD_Connection *connection, Request &request) const;
    void run();
    void schedule();

    Handler m_handler;
    HttpLimits m_limits;
    MHD_Daemon *m_daemon = nullptr;
    quint16 m_port = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_timer;
    std::size_t m_bodyBytesInFlight = 0;
};
