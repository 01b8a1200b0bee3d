#include "NameCache.h"

#include <cstdlib>

namespace ledgerwell {

std::optional<std::int64_t> NameCache::find(const std::string &name)
{
    if (const auto young = m_young.find(name); young != m_young.end())
        return young->second;
    const auto old = m_old.find(name);
    if (old == m_old.end())
        return std::nullopt;
    const std::int64_t record = old->second;
    // Moved, not copied: a name lives in one generation, so the total stays within the limit.
    if (m_young.size() < m_limit / 2) {
        m_young.insert(m_old.extract(old));
    }
    return record;
}

std::optional<std::int64_t> NameCache::take(const std::string &name)
{
    for (auto *generation : {&m_young, &m_old}) {
        if (const auto found = generation->find(name); found != generation->end()) {
            const std::int64_t record = found->second;
            generation->erase(found);
            ++m_generation;
            return record;
        }
    }
    return std::nullopt;
}

void NameCache::insert(std::string name, std::int64_t record, std::vector<std::int64_t> &forgotten)
{
    if (m_young.size() >= m_limit / 2)
        rotate(forgotten);
    m_young.insert_or_assign(std::move(name), record);
}

void NameCache::rotate(std::vector<std::int64_t> &forgotten)
{
    for (const auto &[name, record] : m_old) {
        if (record < 0)
            forgotten.push_back(-record);
    }
    m_dropped += m_old.size();
    ++m_generation;
    m_old = std::move(m_young);
    m_young.clear();
}

std::size_t nameCacheLimit()
{
    const char *text = std::getenv("LEDGERWELL_NAME_CACHE");
    if (!text || !*text)
        return 100000;
    char *end = nullptr;
    const long long limit = std::strtoll(text, &end, 10);
    return *end == '\0' && limit >= 2 ? std::size_t(limit) : 100000;
}

} // namespace ledgerwell
