#pragma once

#include "LogLine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ledgerwell {

// A CS2 server's round_stats block, read a line at a time: each player's running totals of the
// match at a round's start, one line a player. Only a whole block counts: one that another
// line of its server cuts into, or that ends without its columns, is dropped.
class RoundStatsBlock
{
public:
    struct Player
    {
        std::string account; // the N of [U:1:N]
        std::int64_t mvps = 0;
    };

    // A block's line; true when it ended a whole block, whose figures are then given below.
    bool read(const Event &event);
    // Any other line of the server, or one that could not be read.
    void interrupt() { m_open = false; }

    const std::string &map() const { return m_map; }
    const std::vector<Player> &players() const { return m_players; }

private:
    static constexpr std::size_t MaxPlayers = 128; // a server holds 64
    bool m_open = false;
    std::string m_map;
    int m_account = -1, m_mvp = -1; // columns
    std::vector<Player> m_players;
};

} // namespace ledgerwell
