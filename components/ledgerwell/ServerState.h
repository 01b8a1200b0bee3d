#pragma once

#include "LogLine.h"
#include "RoundStats.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ledgerwell {

// Bits of Games.Game_Flags.
namespace GameFlag {
constexpr std::int64_t EndedByLogClose = 1; // "Log file closed" ended it
constexpr std::int64_t EndedByNextMap = 2;  // the next "Started map" ended it
constexpr std::int64_t SourceEngine = 4;    // the log's version is a single build number
constexpr std::int64_t NoLogStart = 8;      // no "Log file started" came from the server before
constexpr std::int64_t MidMap = 16;         // events came before any map line: map unknown
constexpr std::int64_t GoesOnAfterLogClose = 32; // the map went on in a new log file
constexpr std::int64_t NoStartedMap = 64;        // "Loading map" opened it, no "Started map" yet
} // namespace GameFlag

// The map being played on a server. The links it has written (cvars, teams, properties) are
// kept by the Ledger, within a limit, not here.
struct GameState
{
    std::int64_t id = 0; // 0: none
    std::int64_t startSeconds = 0;
    std::int64_t flags = 0;
    std::string map;          // as stored in Maps; empty when unknown
    bool awaitsStart = false; // opened by "Loading map", no "Started map" yet
    bool logClosed = false;   // "Log file closed" came, nothing of the game since
};

// A game server, known by the address its datagrams come from.
class ServerState : public PlayerDirectory
{
public:
    Recognition recognise(const PlayerToken &token) const override;
    void rememberPlayer(const PlayerToken &token);
    void forgetPlayer(const PlayerToken &token);
    // A new log file: the server may have restarted, and its uids stand for new players.
    void forgetPlayers() { m_ids.clear(); }

    // A server names the same few players line after line. Once a token's rows are made in a
    // game, the same token in the same game needs none, as long as the name caches hold what
    // they were made from (`names`: their generations).
    std::int64_t seenPlayer(const PlayerToken &token, std::int64_t game, std::uint64_t names);
    void markSeen(const PlayerToken &token, std::int64_t game, std::uint64_t names,
                  std::int64_t record);

    std::int64_t id = 0;
    std::string name;         // empty until the server names itself
    std::int64_t packets = 0; // datagrams since its row was last written
    std::string lastSeen;
    bool dirty = false;

    bool logStarted = false;
    std::string version;  // of the last "Log file started"
    std::string gameName; // the game folder it named
    GameState game;
    RoundStatsBlock roundStats;
    // The MVPs last written for each account in match mvpMatch (from 1: a server may start the
    // next match after "Game Over" without a new map) of game mvpGame.
    std::int64_t mvpGame = 0;
    int mvpMatch = 1;
    std::unordered_map<std::string, std::int64_t> mvps;

private:
    struct Seen
    {
        std::int64_t game = 0;
        std::uint64_t names = 0;
        std::int64_t record = 0;
    };
    const std::string &seenKey(const PlayerToken &token);

    static constexpr std::size_t MaxPlayers = 1024;
    std::unordered_map<std::string, std::string> m_ids; // uid -> Steam id, while connected
    std::unordered_map<std::string, Seen> m_seen;       // whole token -> its rows' game
    std::string m_key;                                  // kept to look up without allocating
};

} // namespace ledgerwell
