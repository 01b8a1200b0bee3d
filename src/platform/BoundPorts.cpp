#include "BoundPorts.h"

void BoundPorts::add(BoundPort port)
{
    std::lock_guard lock(m_mutex);
    const int connection = port.connection;
    m_ports[connection] = std::move(port);
}

void BoundPorts::remove(int connection)
{
    std::lock_guard lock(m_mutex);
    m_ports.erase(connection);
}

std::vector<BoundPort> BoundPorts::list() const
{
    std::lock_guard lock(m_mutex);
    std::vector<BoundPort> ports;
    ports.reserve(m_ports.size());
    for (const auto &entry : m_ports)
        ports.push_back(entry.second);
    return ports;
}
