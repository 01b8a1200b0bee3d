#pragma once

#include "LogLine.h"
#include "NameCache.h"
#include "RecentSet.h"
#include "RowBatch.h"
#include "ServerCache.h"
#include "ServerState.h"
#include "Tables.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ledgerwell {

// A link row already written: a cvar to its server or game, a team or a property to a player
// in a game. table says which; a, b, c are the Records (or references) it links.
struct Link
{
    std::int64_t a = 0, b = 0, c = 0;
    Table table = Table::ServersCvars;
    bool operator==(const Link &) const = default;
};

struct LinkHash
{
    std::size_t operator()(const Link &link) const;
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
    void rememberServer(std::int64_t record, const std::string &ip, const std::string &port);
    void rememberServerCvar(std::int64_t server, std::int64_t cvar);

    // The server's row is written with its first log datagram.
    ServerState &server(std::string_view ip, std::string_view port, const std::string &receivedIso,
                        RowBatch &batch);
    void countDatagram(ServerState &server, const std::string &receivedIso);
    // Writes the rows of one line; returns the game the line belongs to (0: none).
    std::int64_t score(ServerState &server, const ParsedLine &line, RowBatch &batch);
    // The raw datagram and the game it belongs to.
    void logRow(std::string_view ip, std::int32_t port, std::string_view bytes,
                const std::string &receivedIso, std::int64_t game, RowBatch &batch);
    // Server rows change with every datagram; they are written once per transaction.
    void sealServers(RowBatch &batch);

    // Names kept in memory now, and names dropped since the start to stay within the limit;
    // the same for servers and for the links already written.
    std::size_t cachedNames() const;
    std::uint64_t droppedNames() const;
    std::size_t cachedServers() const { return m_servers.size(); }
    std::uint64_t droppedServers() const { return m_servers.dropped(); }
    std::size_t cachedLinks() const { return m_links.size(); }
    std::uint64_t droppedLinks() const { return m_links.dropped(); }

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
    std::uint64_t playerNames() const;
    std::int64_t playerEvent(ServerState &server, const ParsedLine &line, RowBatch &batch);
    void playerTeam(ServerState &server, std::int64_t player, std::string_view teamName,
                    const LogTime &time, RowBatch &batch);
    void playerCvar(ServerState &server, std::int64_t player, const char *name,
                    std::string_view value, const LogTime &time, RowBatch &batch,
                    bool remember = true);
    // Writes the link unless it was written lately.
    void link(Table table, std::int64_t a, std::int64_t b, std::int64_t c, RowBatch &batch);
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
    void killedByWorld(ServerState &server, const ParsedLine &line, std::int64_t victim,
                       RowBatch &batch);
    void attacked(ServerState &server, const ParsedLine &line, std::int64_t actor,
                  std::string_view weaponName, RowBatch &batch);
    void triggered(ServerState &server, const ParsedLine &line, std::int64_t actor,
                   RowBatch &batch);
    void weaponStats(ServerState &server, const ParsedLine &line, std::int64_t actor,
                     RowBatch &batch);
    void teamTriggered(ServerState &server, const ParsedLine &line, RowBatch &batch);
    void worldTriggered(ServerState &server, const ParsedLine &line, RowBatch &batch);
    void roundStatsRead(ServerState &server, const LogTime &time, RowBatch &batch);
    // A Ledgerwell_Details row of the open game; 0 for no Scores row or no player.
    void detail(const ServerState &server, std::int64_t score, std::int64_t player,
                const char *kind, std::string_view text, RowBatch &batch);
    void result(const ServerState &server, const LogTime &time, const char *kind,
                std::string_view team, std::string_view what, std::string_view score,
                RowBatch &batch);
    void setServerName(ServerState &server, std::string_view name);
    void markDirty(ServerState &server);
    void writeServer(ServerState &server, RowBatch &batch);
    // A server dropped from memory: what it has not written yet goes into the batch, and its
    // Record is kept with the names.
    void retire(const std::string &key, ServerState &server, RowBatch &batch);

    std::int64_t m_references = 0;
    std::array<NameCache, TableCount> m_names;
    NameCache m_cvars{nameCacheLimit()}; // name NUL value
    ServerCache m_servers{serverCacheLimit()};
    // The Records of servers not in m_servers (each Record in one of the two only): those the
    // database held at the start and those let go since, so a server met again takes its own
    // row again.
    NameCache m_serverRecords{nameCacheLimit()}; // ip:port
    RecentSet<Link, LinkHash> m_links{nameCacheLimit()};
    std::vector<ServerState *> m_dirty;
};

// The Players row key: the Steam id; for bots and LAN players the name (with a leading "~"
// when the name looks like a Steam id). A key longer than the column keeps its first 41
// characters, "~" and a hash of the whole key, so it stays one key per player.
std::string playerRowKey(const PlayerToken &token);

// The server console speaks in player form but is no player.
bool isConsole(const PlayerToken &token);

} // namespace ledgerwell
