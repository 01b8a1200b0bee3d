#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_set>

namespace ledgerwell {

// The keys met lately, at most `limit` of them, with the same two generations as NameCache:
// a key found in the old one moves to the young one, and when the young one is full the old
// one is dropped. Used for the links already written (a cvar to its server, a player to his
// team in a game), so that a stream of ever new links cannot grow memory without end; a link
// dropped and met again is written again.
template <typename Key, typename Hash = std::hash<Key>> class RecentSet
{
public:
    explicit RecentSet(std::size_t limit)
        : m_limit(limit < 2 ? 2 : limit)
    {
    }

    // True when the key was not among the recent ones; it is now.
    bool insert(const Key &key)
    {
        if (m_young.count(key))
            return false;
        if (const auto old = m_old.find(key); old != m_old.end()) {
            if (m_young.size() < m_limit / 2)
                m_young.insert(m_old.extract(old));
            return false;
        }
        if (m_young.size() >= m_limit / 2) {
            m_dropped += m_old.size();
            m_old = std::move(m_young);
            m_young.clear();
        }
        m_young.insert(key);
        return true;
    }

    std::size_t size() const { return m_young.size() + m_old.size(); }
    std::uint64_t dropped() const { return m_dropped; }

private:
    std::size_t m_limit;
    std::unordered_set<Key, Hash> m_young;
    std::unordered_set<Key, Hash> m_old;
    std::uint64_t m_dropped = 0;
};

} // namespace ledgerwell
