#include "ServerCache.h"

#include <cstdlib>

namespace ledgerwell {

ServerState *ServerCache::find(const std::string &key)
{
    if (const auto young = m_young.find(key); young != m_young.end())
        return &young->second;
    const auto old = m_old.find(key);
    if (old == m_old.end())
        return nullptr;
    ServerState *state = &old->second;
    if (m_young.size() < m_limit / 2)
        m_young.insert(m_old.extract(old));
    return state;
}

ServerState &
ServerCache::add(std::string key,
                 const std::function<void(const std::string &, ServerState &)> &leaving)
{
    if (m_young.size() >= m_limit / 2) {
        for (auto &[address, state] : m_old)
            leaving(address, state);
        m_dropped += m_old.size();
        m_old = std::move(m_young);
        m_young.clear();
    }
    return m_young.try_emplace(std::move(key)).first->second;
}

std::size_t serverCacheLimit()
{
    const char *text = std::getenv("LEDGERWELL_SERVER_CACHE");
    if (!text || !*text)
        return 10000;
    char *end = nullptr;
    const long long limit = std::strtoll(text, &end, 10);
    return *end == '\0' && limit >= 2 ? std::size_t(limit) : 10000;
}

} // namespace ledgerwell
