#include "StatsServer.h"

#include "Html.h"

#include <QHttpServerRequest>

namespace {

// Pages carry their style sheet and nothing else: no script runs, nothing is framed, forms
// go back to this server only.
const QByteArray Policy = "default-src 'none'; style-src 'self'; img-src 'self'; "
                          "form-action 'self'; base-uri 'none'; frame-ancestors 'none'";

void send(QHttpServerResponder &&responder, const Reply &reply)
{
    responder.write(reply.body,
                    {{"Content-Type", reply.mimeType},
                     {"Content-Security-Policy", Policy},
                     {"X-Content-Type-Options", "nosniff"},
                     {"Referrer-Policy", "no-referrer"},
                     {"Cache-Control", "no-store"}},
                    reply.status);
}

} // namespace

StatsServer::StatsServer(std::vector<std::unique_ptr<StatsSite>> sites)
    : m_sites(std::move(sites))
{
}

bool StatsServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    if (request.method() != QHttpServerRequest::Method::Get) {
        send(makeResponder(request, socket),
             {QHttpServerResponder::StatusCode::MethodNotAllowed, "text/plain; charset=utf-8",
              "Only GET is served.\n"});
        return true;
    }
    send(makeResponder(request, socket), answer(request.url().path(), request.query()));
    return true;
}

void StatsServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    send(makeResponder(request, socket),
         {QHttpServerResponder::StatusCode::NotFound, "text/plain; charset=utf-8", "Not found.\n"});
}
