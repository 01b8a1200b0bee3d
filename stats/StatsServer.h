#pragma once

#include "StatsSite.h"

#include <QAbstractHttpServer>
#include <QHttpServerResponder>
#include <QUrlQuery>

#include <memory>
#include <vector>

// One answer: status, type and body; the server adds the headers every answer carries.
struct Reply
{
    QHttpServerResponder::StatusCode status = QHttpServerResponder::StatusCode::Ok;
    QByteArray mimeType;
    QByteArray body;
};

// The pages and the JSON API over the databases, GET only.
class StatsServer : public QAbstractHttpServer
{
    Q_OBJECT
public:
    explicit StatsServer(std::vector<std::unique_ptr<StatsSite>> sites);

    // The answer to a request for path with query, as served.
    Reply answer(const QString &path, const QUrlQuery &query) const;

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    std::vector<std::unique_ptr<StatsSite>> m_sites;
};
