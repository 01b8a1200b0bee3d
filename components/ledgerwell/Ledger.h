#pragma once

#include "LogLine.h"
#include "NameCache.h"
#include "RowBatch.h"
#include "Tables.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

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

// The map being played on a server.
struct GameState
{
    std::int64_t id = 0; // 0: none
    std::int64_t startSeconds = 0;
    std::int64_t flags = 0;
    std::string map;          // as stored in Maps; empty when unknown
    bool awaitsStart = false; // opened by "Loading map", no "Started map" yet
    bool logClosed = false;   // "Log file closed" came, nothing of the game since
    std::unordered_set<std::int64_t> cvars;
    std::unordered_set<std::uint64_t> playerTeams; // player << 32 | team
    std::unordered_set<std::uint64_t> playerCvars; // player << 32 | cvar
};

// A game server, known by the address its datagrams come from.
class ServerState : public PlayerDirectory
{
public:
    Recognition recognise(const PlayerToken &token) const override;
    void rememberPlayer(const PlayerToken &token);
    void rememberName(const PlayerToken &token, std::string_view name);
    void forgetPlayer(const PlayerToken &token);

    std::int64_t id = 0;
    std::string name; // empty until the server names itself
    std::int64_t packets = 0;
    std::string lastSeen;
    bool dirty = false;

    bool logStarted = false;
    std::string version;                          // of the last "Log file started"
    std::string gameName;                         // the game folder it named
    std::unordered_set<std::int64_t> linkedCvars; // in Servers_Cvars
    GameState game;

private:
    static std::string playerKey(const PlayerToken &token);
    std::unordered_map<std::string, std::string> m_names; // uid<id -> name, while connected
};

// The scoring state of one database: the name rows already made and the servers with their
// games. It turns parsed lines into rows. A row's Record is a handle: > 0 as the database
// numbered it, < 0 for a row made here, numbered when it is written.
class Ledger
{
public:
    Ledger() { m_names.fill(NameCache(nameCacheLimit())); }

    // What the database already holds, read when the connection opens.
    void rememberName(Table table, std::int64_t record, std::string text);
    void rememberCvar(std::int64_t record, const std::string &name, const std::string &value);
    void rememberServer(std::int64_t record, const std::string &ip, const std::string &port,
                        std::int64_t packets, std::string name);
    void rememberServerCvar(std::int64_t server, std::int64_t cvar);

    // The server's row is written with its first log datagram.
    ServerState &server(std::string_view ip, std::string_view port, const std::string &receivedIso,
                        RowBatch &batch);
    void countDatagram(ServerState &server, const std::string &receivedIso);
    // Writes the rows of one line; returns the game the line belongs to (0: none).
    std::int64_t score(ServerState &server, const ParsedLine &line, RowBatch &batch);
    // An ambiguous line writes nothing; the server forgets the players it may have renamed,
    // so that what it still knows is never a stale name.
    void passOver(ServerState &server, const LineParse &ambiguous);
    // The raw datagram and the game it belongs to.
    void logRow(std::string_view ip, std::int32_t port, std::string_view bytes,
                const std::string &receivedIso, std::int64_t game, RowBatch &batch);
    // Server rows change with every datagram; they are written once per transaction.
    void sealServers(RowBatch &batch);

    // Names kept in memory now, and names dropped since the start to stay within the limit.
    std::size_t cachedNames() const;
    std::uint64_t droppedNames() const;

private:
    // A new row: a reference that becomes a Record when its transaction is written. Records
    // are not counted here, as other writers share the database.
    std::int64_t next(Table) { return -++m_references; }
    std::int64_t named(Table table, std::string text, const LogTime &time, RowBatch &batch);
    // remember: keep the row for later lines (settings, names); chat is not remembered, so
    // memory does not grow with every distinct message.
    std::int64_t cvar(std::string name, std::string value, const LogTime &time, RowBatch &batch,
                      bool remember = true);
    std::int64_t player(ServerState &server, const PlayerToken &token, const LogTime &time,
                        RowBatch &batch);
    std::int64_t playerEvent(ServerState &server, const ParsedLine &line, RowBatch &batch);
    void playerTeam(ServerState &server, std::int64_t player, std::string_view teamName,
                    const LogTime &time, RowBatch &batch);
    void playerCvar(ServerState &server, std::int64_t player, const char *name,
                    std::string_view value, const LogTime &time, RowBatch &batch,
                    bool remember = true);
    void linkServerCvar(ServerState &server, std::int64_t cvar, RowBatch &batch);
    void linkGameCvar(GameState &game, std::int64_t cvar, RowBatch &batch);
    void startGame(ServerState &server, const LogTime &time, std::int64_t flags, RowBatch &batch);
    void startMapGame(ServerState &server, const ParsedLine &line, RowBatch &batch);
    void ensureGame(ServerState &server, const LogTime &time, RowBatch &batch);
    void endGame(ServerState &server, const LogTime &time, std::int64_t flag, RowBatch &batch);
    void forgetGame(ServerState &server, RowBatch &batch);
    void closeLog(ServerState &server, const LogTime &time, RowBatch &batch);
    void writeGameFlags(const GameState &game, const Value &end, RowBatch &batch);
    std::int64_t scoreRow(const ServerState &server, const LogTime &time, std::int64_t killer,
                          std::int64_t victim, std::int64_t type, std::int64_t weapon,
                          std::int64_t score, RowBatch &batch);
    std::int64_t type(std::string_view name, const LogTime &time, RowBatch &batch);
    std::int64_t weapon(std::string_view name, const LogTime &time, RowBatch &batch);
    void killed(ServerState &server, const ParsedLine &line, std::int64_t actor, RowBatch &batch);
    void attacked(ServerState &server, const ParsedLine &line, std::int64_t actor,
                  std::string_view weaponName, RowBatch &batch);
    void triggered(ServerState &server, const ParsedLine &line, std::int64_t actor,
                   RowBatch &batch);
    void weaponStats(ServerState &server, const ParsedLine &line, std::int64_t actor,
                     RowBatch &batch);
    void teamTriggered(ServerState &server, const ParsedLine &line, RowBatch &batch);
    void worldTriggered(ServerState &server, const ParsedLine &line, RowBatch &batch);
    void result(const ServerState &server, const LogTime &time, const char *kind,
                std::string_view team, std::string_view what, std::string_view score,
                RowBatch &batch);
    void setServerName(ServerState &server, std::string_view name);
    void markDirty(ServerState &server);

    std::int64_t m_references = 0;
    std::array<NameCache, TableCount> m_names;
    NameCache m_cvars{nameCacheLimit()};                    // name NUL value
    std::unordered_map<std::string, ServerState> m_servers; // ip:port
    std::unordered_map<std::int64_t, ServerState *> m_serversById;
    std::vector<ServerState *> m_dirty;
};

// The Players row key: the Steam id; for bots and LAN players the name (with a leading "~"
// when the name looks like a Steam id). A key longer than the column keeps its first 41
// characters, "~" and a hash of the whole key, so it stays one key per player.
std::string playerRowKey(const PlayerToken &token);

// The server console speaks in player form but is no player.
bool isConsole(const PlayerToken &token);

} // namespace ledgerwell
