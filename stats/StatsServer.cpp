#include "StatsServer.h"

StatsServer::StatsServer(std::vector<std::unique_ptr<StatsSite>> sites)
    : m_sites(std::move(sites))
{
}
