#include "Ledger.h"

#include "TextRules.h"

#include <limits>

namespace ledgerwell {

namespace {

bool allDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// STEAM_0:1:234, [U:1:68745073] or an old numeric id: one per account, whatever the name.
bool isUniqueId(std::string_view id)
{
    if (id.size() > 8 && id.substr(0, 6) == "STEAM_") {
        const std::string_view rest = id.substr(6);
        const std::size_t first = rest.find(':');
        const std::size_t second = rest.find(':', first + 1);
        return first != std::string_view::npos && second != std::string_view::npos &&
               allDigits(rest.substr(0, first)) &&
               allDigits(rest.substr(first + 1, second - first - 1)) &&
               allDigits(rest.substr(second + 1));
    }
    if (id.size() > 6 && id.front() == '[' && id.back() == ']' && id[2] == ':') {
        const std::string_view rest = id.substr(3, id.size() - 4);
        const std::size_t colon = rest.find(':');
        return colon != std::string_view::npos && allDigits(rest.substr(0, colon)) &&
               allDigits(rest.substr(colon + 1));
    }
    return allDigits(id) && id != "0";
}

// "12", "-3", "+4 kills" -> the number; anything else is 0.
std::int64_t leadingNumber(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
        negative = text[pos++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t limit = std::numeric_limits<std::int32_t>::max();
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos++] - '0');
        if (value > limit)
            value = limit;
    }
    return negative ? -value : value;
}

// "/home/hlds/cstrike" -> "cstrike"
std::string_view lastPathPart(std::string_view path)
{
    while (!path.empty() && (path.back() == '/' || path.back() == '\\'))
        path.remove_suffix(1);
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::uint64_t pair(std::int64_t a, std::int64_t b)
{
    return (std::uint64_t(a) << 32) | std::uint32_t(b);
}

} // namespace

std::string playerRowKey(const PlayerToken &token)
{
    if (isUniqueId(token.id))
        return storedText(token.id, Length::Name);
    std::string key(token.id);
    key += ':';
    key += token.name;
    return storedText(key, Length::Name);
}

std::string ServerState::playerKey(const PlayerToken &token)
{
    std::string key(token.uid);
    key += '<';
    key += token.id;
    return key;
}

int ServerState::recognise(const PlayerToken &token) const
{
    const auto found = m_names.find(playerKey(token));
    if (found == m_names.end())
        return 0;
    return found->second == token.name ? 2 : 1;
}

void ServerState::rememberPlayer(const PlayerToken &token)
{
    rememberName(token, token.name);
}

void ServerState::rememberName(const PlayerToken &token, std::string_view name)
{
    std::string &known = m_names[playerKey(token)];
    if (known != name)
        known.assign(name);
}

void ServerState::forgetPlayer(const PlayerToken &token)
{
    m_names.erase(playerKey(token));
}

Ledger::Ledger()
{
    m_next.fill(1);
}

void Ledger::setNextRecord(Table table, std::int64_t next)
{
    m_next[index(table)] = next;
}

void Ledger::rememberName(Table table, std::int64_t record, std::string text)
{
    m_names[index(table)].emplace(std::move(text), record);
}

void Ledger::rememberCvar(std::int64_t record, const std::string &name, const std::string &value)
{
    std::string key = name;
    key += '\0';
    key += value;
    m_cvars.emplace(std::move(key), record);
}

void Ledger::rememberServer(std::int64_t record, const std::string &ip, const std::string &port,
                            std::int64_t packets, std::string name)
{
    const auto [it, inserted] = m_servers.try_emplace(ip + ":" + port);
    if (!inserted)
        return;
    it->second.id = record;
    it->second.packets = packets;
    it->second.name = std::move(name);
    m_serversById.emplace(record, &it->second);
}

void Ledger::rememberServerCvar(std::int64_t server, std::int64_t cvar)
{
    const auto found = m_serversById.find(server);
    if (found != m_serversById.end())
        found->second->linkedCvars.insert(cvar);
}

ServerState *Ledger::findServer(std::string_view ip, std::string_view port)
{
    std::string key(ip);
    key += ':';
    key += port;
    const auto found = m_servers.find(key);
    return found == m_servers.end() ? nullptr : &found->second;
}

ServerState &Ledger::server(std::string_view ip, std::string_view port,
                            const std::string &receivedIso, RowBatch &batch)
{
    std::string key(ip);
    key += ':';
    key += port;
    const auto [it, inserted] = m_servers.try_emplace(std::move(key));
    ServerState &state = it->second;
    if (inserted) {
        state.id = next(Table::Servers);
        batch.add(insertInto(Table::Servers), Value::of(state.id), Value::null(),
                  Value::of(storedText(ip, Length::Address)),
                  Value::of(storedText(port, Length::Port)), Value::of(std::int64_t(0)),
                  Value::of(receivedIso));
    }
    return state;
}

void Ledger::markDirty(ServerState &server)
{
    if (!server.dirty) {
        server.dirty = true;
        m_dirty.push_back(&server);
    }
}

void Ledger::countDatagram(ServerState &server, const std::string &receivedIso)
{
    if (server.packets < std::numeric_limits<std::int32_t>::max())
        ++server.packets;
    server.lastSeen = receivedIso;
    markDirty(server);
}

void Ledger::sealServers(RowBatch &batch)
{
    for (ServerState *server : m_dirty) {
        batch.add(Statement::UpdateServer, Value::textOrNull(server->name),
                  Value::of(server->packets), Value::of(server->lastSeen), Value::of(server->id));
        server->dirty = false;
    }
    m_dirty.clear();
}

void Ledger::setServerName(ServerState &server, std::string_view name)
{
    std::string stored = storedText(name, Length::Long);
    if (stored != server.name) {
        server.name = std::move(stored);
        markDirty(server);
    }
}

std::int64_t Ledger::named(Table table, std::string text, const LogTime &time, RowBatch &batch)
{
    auto &cache = m_names[index(table)];
    const auto found = cache.find(text);
    if (found != cache.end())
        return found->second;
    const std::int64_t record = next(table);
    cache.emplace(text, record);
    batch.add(insertInto(table), Value::of(record), Value::of(std::move(text)),
              Value::of(time.iso()));
    return record;
}

std::int64_t Ledger::cvar(std::string name, std::string value, const LogTime &time, RowBatch &batch)
{
    std::string key = name;
    key += '\0';
    key += value;
    const auto found = m_cvars.find(key);
    if (found != m_cvars.end())
        return found->second;
    const std::int64_t record = next(Table::Cvars);
    m_cvars.emplace(std::move(key), record);
    batch.add(insertInto(Table::Cvars), Value::of(record), Value::of(std::move(name)),
              Value::of(std::move(value)), Value::of(time.iso()));
    return record;
}

void Ledger::linkServerCvar(ServerState &server, std::int64_t cvar, RowBatch &batch)
{
    if (server.linkedCvars.insert(cvar).second)
        batch.add(insertInto(Table::ServersCvars), Value::of(next(Table::ServersCvars)),
                  Value::of(server.id), Value::of(cvar));
}

void Ledger::linkGameCvar(GameState &game, std::int64_t cvar, RowBatch &batch)
{
    if (game.cvars.insert(cvar).second)
        batch.add(insertInto(Table::GamesCvars), Value::of(next(Table::GamesCvars)),
                  Value::of(game.id), Value::of(cvar));
}

void Ledger::startGame(ServerState &server, const LogTime &time, std::int64_t flags,
                       RowBatch &batch)
{
    server.game = GameState();
    GameState &game = server.game;
    game.id = next(Table::Games);
    game.startSeconds = time.epochSeconds();
    game.flags = flags;
    if (!server.logStarted)
        game.flags |= GameFlag::NoLogStart;
    if (allDigits(server.version))
        game.flags |= GameFlag::SourceEngine;
    batch.add(insertInto(Table::Games), Value::of(game.id), Value::textOrNull(server.version),
              Value::textOrNull(server.gameName), Value::of(time.iso()), Value::null(),
              Value::of(game.flags));
    batch.add(insertInto(Table::ServersGames), Value::of(next(Table::ServersGames)),
              Value::of(server.id), Value::of(game.id));
    for (const auto &[name, cvar] : server.cvarsInForce)
        linkGameCvar(game, cvar, batch);
}

void Ledger::ensureGame(ServerState &server, const LogTime &time, RowBatch &batch)
{
    if (server.game.id == 0)
        startGame(server, time, GameFlag::MidMap, batch);
}

void Ledger::endGame(ServerState &server, const LogTime &time, std::int64_t flag, RowBatch &batch)
{
    batch.add(Statement::UpdateGameEnd, Value::of(time.iso()), Value::of(server.game.flags | flag),
              Value::of(server.game.id));
    server.game = GameState();
}

void Ledger::scoreRow(const ServerState &server, const LogTime &time, std::int64_t killer,
                      std::int64_t victim, std::int64_t type, std::int64_t weapon,
                      std::int64_t score, RowBatch &batch)
{
    const double offset = double(time.epochSeconds() - server.game.startSeconds);
    batch.add(insertInto(Table::Scores), Value::of(next(Table::Scores)), Value::of(killer),
              Value::of(victim), Value::of(type), Value::of(weapon), Value::of(score),
              Value::of(offset));
}

void Ledger::playerCvar(ServerState &server, std::int64_t player, const char *name,
                        std::string_view value, const LogTime &time, RowBatch &batch)
{
    const std::int64_t record = cvar(name, storedText(value, Length::Value), time, batch);
    if (server.game.playerCvars.insert(pair(player, record)).second)
        batch.add(insertInto(Table::GamesPlayersCvars), Value::of(next(Table::GamesPlayersCvars)),
                  Value::of(server.game.id), Value::of(player), Value::of(record));
}

std::int64_t Ledger::player(ServerState &server, const PlayerToken &token, const LogTime &time,
                            RowBatch &batch)
{
    const std::int64_t record = named(Table::Players, playerRowKey(token), time, batch);
    playerCvar(server, record, "name", token.name, time, batch);
    if (!token.team.empty()) {
        const std::int64_t team =
            named(Table::Teams, storedText(token.team, Length::Name), time, batch);
        if (server.game.playerTeams.insert(pair(record, team)).second)
            batch.add(insertInto(Table::GamesPlayersTeams),
                      Value::of(next(Table::GamesPlayersTeams)), Value::of(server.game.id),
                      Value::of(record), Value::of(team));
    }
    server.rememberPlayer(token);
    return record;
}

std::int64_t Ledger::playerEvent(ServerState &server, const ParsedLine &line, RowBatch &batch)
{
    const Event &event = line.event;
    const LogTime &time = line.time;
    ensureGame(server, time, batch);
    const std::int64_t actor = player(server, event.actor, time, batch);
    const auto type = [&](std::string_view name) {
        return named(Table::Types, storedText(name, Length::Name), time, batch);
    };
    const auto weapon = [&](std::string_view name) {
        return named(Table::Weapons, storedText(name, Length::Name), time, batch);
    };
    const bool sameTeam =
        event.hasOther && !event.actor.team.empty() && event.actor.team == event.other.team;

    switch (event.kind) {
    case EventKind::Connected:
        playerCvar(server, actor, "address", event.text, time, batch);
        break;
    case EventKind::JoinedTeam:
        if (!event.text.empty()) {
            const std::int64_t team =
                named(Table::Teams, storedText(event.text, Length::Name), time, batch);
            if (server.game.playerTeams.insert(pair(actor, team)).second)
                batch.add(insertInto(Table::GamesPlayersTeams),
                          Value::of(next(Table::GamesPlayersTeams)), Value::of(server.game.id),
                          Value::of(actor), Value::of(team));
        }
        break;
    case EventKind::ChangedRole:
        playerCvar(server, actor, "role", event.text, time, batch);
        break;
    case EventKind::ChangedName:
        playerCvar(server, actor, "name", event.text, time, batch);
        server.rememberName(event.actor, event.text);
        break;
    case EventKind::Disconnected:
        playerCvar(server, actor, "disconnected", event.property("reason"), time, batch);
        server.forgetPlayer(event.actor);
        break;
    case EventKind::Killed: {
        const std::int64_t victim = player(server, event.other, time, batch);
        if (victim == actor)
            scoreRow(server, time, actor, actor, type("suicide"), weapon(event.text), -1, batch);
        else if (sameTeam)
            scoreRow(server, time, actor, victim, type("teamkill"), weapon(event.text), -1, batch);
        else
            scoreRow(server, time, actor, victim, type("kill"), weapon(event.text), 1, batch);
        break;
    }
    case EventKind::Suicide:
        scoreRow(server, time, actor, actor, type("suicide"), weapon(event.text), -1, batch);
        break;
    case EventKind::Triggered: {
        const std::int64_t victim = event.hasOther ? player(server, event.other, time, batch) : 0;
        scoreRow(server, time, actor, victim, type(event.text), 0,
                 leadingNumber(event.property("points")), batch);
        break;
    }
    case EventKind::Attacked: {
        // An attack scores no points; its Score carries the damage done.
        const std::int64_t victim = player(server, event.other, time, batch);
        scoreRow(server, time, actor, victim, type(sameTeam ? "teamattack" : "attack"),
                 weapon(event.text), leadingNumber(event.property("damage")), batch);
        break;
    }
    case EventKind::Say:
        playerCvar(server, actor, "say", event.text, time, batch);
        break;
    case EventKind::SayTeam:
        playerCvar(server, actor, "say_team", event.text, time, batch);
        break;
    default: // entered the game, and player events that are not scored
        break;
    }
    return server.game.id;
}

std::int64_t Ledger::score(ServerState &server, const ParsedLine &line, RowBatch &batch)
{
    const Event &event = line.event;
    const LogTime &time = line.time;
    switch (event.kind) {
    case EventKind::Other:
    case EventKind::CvarsStart:
    case EventKind::CvarsEnd:
        return server.game.id;
    case EventKind::LogStarted:
        server.logStarted = true;
        server.version = storedText(event.property("version"), Length::Name);
        server.gameName = storedText(lastPathPart(event.property("game")), Length::Name);
        return server.game.id;
    case EventKind::LogClosed: {
        const std::int64_t game = server.game.id;
        if (game)
            endGame(server, time, GameFlag::EndedByLogClose, batch);
        return game;
    }
    case EventKind::Cvar: {
        std::string name = storedText(event.text, Length::Name);
        const std::int64_t record = cvar(name, storedText(event.value, Length::Value), time, batch);
        linkServerCvar(server, record, batch);
        if (server.game.id)
            linkGameCvar(server.game, record, batch);
        if (equalsIgnoreCase(event.text, "hostname"))
            setServerName(server, event.value);
        server.cvarsInForce[std::move(name)] = record;
        return server.game.id;
    }
    case EventKind::LoadingMap:
        named(Table::Maps, storedText(event.text, Length::Long), time, batch);
        return server.game.id;
    case EventKind::StartedMap: {
        if (server.game.id)
            endGame(server, time, GameFlag::EndedByNextMap, batch);
        startGame(server, time, 0, batch);
        const std::int64_t map =
            named(Table::Maps, storedText(event.text, Length::Long), time, batch);
        batch.add(insertInto(Table::GamesMaps), Value::of(next(Table::GamesMaps)),
                  Value::of(server.game.id), Value::of(map));
        return server.game.id;
    }
    case EventKind::ServerName:
        setServerName(server, event.text);
        return server.game.id;
    case EventKind::TeamTriggered: {
        ensureGame(server, time, batch);
        named(Table::Teams, storedText(event.text, Length::Name), time, batch);
        const std::int64_t type =
            named(Table::Types, storedText(event.value, Length::Name), time, batch);
        scoreRow(server, time, 0, 0, type, 0, leadingNumber(event.property("points")), batch);
        return server.game.id;
    }
    case EventKind::TeamScore: {
        // The team is named in the type ("CT scored"), as Scores has no team column.
        ensureGame(server, time, batch);
        named(Table::Teams, storedText(event.text, Length::Name), time, batch);
        std::string typeName(event.text);
        typeName += ' ';
        typeName += event.detail;
        const std::int64_t type =
            named(Table::Types, storedText(typeName, Length::Name), time, batch);
        scoreRow(server, time, 0, 0, type, 0, leadingNumber(event.value), batch);
        return server.game.id;
    }
    case EventKind::WorldTriggered: {
        ensureGame(server, time, batch);
        const std::int64_t type =
            named(Table::Types, storedText(event.text, Length::Name), time, batch);
        scoreRow(server, time, 0, 0, type, 0, leadingNumber(event.property("points")), batch);
        return server.game.id;
    }
    default:
        return playerEvent(server, line, batch);
    }
}

void Ledger::logRow(std::string_view ip, std::int32_t port, std::string_view bytes,
                    const std::string &receivedIso, std::int64_t game, RowBatch &batch)
{
    const std::int64_t record = next(Table::Logs);
    batch.add(insertInto(Table::Logs), Value::of(record),
              Value::of(storedText(ip, Length::LogAddr)), Value::of(std::int64_t(port)),
              Value::blob(bytes), Value::of(receivedIso));
    if (game)
        batch.add(insertInto(Table::LogsGames), Value::of(next(Table::LogsGames)),
                  Value::of(record), Value::of(game));
}

} // namespace ledgerwell
