#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace ledgerwell {

// The Records of names seen lately (players, weapons, maps, cvars ...), at most `limit` of
// them, so a stream of ever new names cannot grow memory without end. Two generations
// approximate least-recently-used: a name found in the old one moves to the young one, and
// when the young one is full the old one is dropped. A dropped name costs a lookup in the
// database when it comes back.
class NameCache
{
public:
    explicit NameCache(std::size_t limit = 100000)
        : m_limit(limit < 2 ? 2 : limit)
    {
    }

    std::optional<std::int64_t> find(const std::string &name);
    // Finds the name and hands its Record over: the caller keeps it from now on, so that
    // dropping it here can never forget a Record still in use.
    std::optional<std::int64_t> take(const std::string &name);
    // forgotten: the references of rows made here that the cache dropped, so whoever keeps
    // their numbers can drop them too.
    void insert(std::string name, std::int64_t record, std::vector<std::int64_t> &forgotten);

    std::size_t size() const { return m_young.size() + m_old.size(); }
    std::uint64_t dropped() const { return m_dropped; }
    // Changes whenever a name may have left the cache: what was found before is then only
    // sure to be here after another find.
    std::uint64_t generation() const { return m_generation; }

private:
    void rotate(std::vector<std::int64_t> &forgotten);

    std::size_t m_limit;
    std::unordered_map<std::string, std::int64_t> m_young;
    std::unordered_map<std::string, std::int64_t> m_old;
    std::uint64_t m_dropped = 0;
    std::uint64_t m_generation = 0;
};

// The limit of each name cache: LEDGERWELL_NAME_CACHE names, 100,000 unless set.
std::size_t nameCacheLimit();

} // namespace ledgerwell
