#pragma once

#include "StatsSite.h"

#include <QUrlQuery>

#include <memory>
#include <vector>

// One answer: status, type and body; the HTTP side adds the headers every answer carries.
struct Reply
{
    int status = 200;
    QByteArray mimeType;
    QByteArray body;
};

// The pages and the JSON API over the databases: what each path and query is answered
// with. It may be asked from several threads at once; each reads through connections of
// its own thread.
class StatsServer
{
public:
    explicit StatsServer(std::vector<std::unique_ptr<StatsSite>> sites);

    // The answer to a GET (or HEAD) of path with query, as served.
    Reply answer(const QString &path, const QUrlQuery &query) const;

private:
    std::vector<std::unique_ptr<StatsSite>> m_sites;
};
