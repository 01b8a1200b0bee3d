#pragma once

#include "ServerState.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

namespace ledgerwell {

// The servers met lately, by "address:port", at most `limit` of them, in the two generations
// of NameCache: a server found in the old one moves to the young one, and when the young one
// is full the old one is dropped. A server's state stays at one address while it is kept
// (moving between generations keeps the node).
class ServerCache
{
public:
    explicit ServerCache(std::size_t limit)
        : m_limit(limit < 2 ? 2 : limit)
    {
    }

    ServerState *find(const std::string &key);
    // A new server; when that needs room, each server of the old generation is handed to
    // `leaving`, with its key, before it is dropped.
    ServerState &add(std::string key,
                     const std::function<void(const std::string &, ServerState &)> &leaving);

    std::size_t size() const { return m_young.size() + m_old.size(); }
    std::uint64_t dropped() const { return m_dropped; }

private:
    std::size_t m_limit;
    std::unordered_map<std::string, ServerState> m_young;
    std::unordered_map<std::string, ServerState> m_old;
    std::uint64_t m_dropped = 0;
};

// The limit of the server cache: LEDGERWELL_SERVER_CACHE servers, 10,000 unless set.
std::size_t serverCacheLimit();

} // namespace ledgerwell
