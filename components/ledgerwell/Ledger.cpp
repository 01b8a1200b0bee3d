#include "Ledger.h"

#include "LedgerRules.h"

#include "TextRules.h"

#include <cstdio>
#include <limits>
#include <string>

namespace ledgerwell {

using namespace rules;

namespace {

// An account servers without Steam give every player alike: account 0 (STEAM_0:0:0,
// [U:1:0]), or 1234, 12345 ... in the STEAM_ form's last number, whatever the bit before it.
// digits: that last number; lowBit: whether the bit before it is 0.
bool isPlaceholderAccount(std::string_view digits, bool lowBitZero)
{
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string_view::npos)
        return lowBitZero;
    const std::string_view number = digits.substr(first);
    return number.size() >= 4 && std::string_view("123456789").substr(0, number.size()) == number;
}

// STEAM_0:1:234, [U:1:68745073] or an old numeric id: one per account, whatever the name.
// A placeholder account is no one's: its players are told apart by name.
bool isUniqueId(std::string_view id)
{
    if (id.size() > 8 && id.substr(0, 6) == "STEAM_") {
        const std::string_view rest = id.substr(6);
        const std::size_t first = rest.find(':');
        const std::size_t second = rest.find(':', first + 1);
        return first != std::string_view::npos && second != std::string_view::npos &&
               isDigits(rest.substr(0, first)) &&
               isDigits(rest.substr(first + 1, second - first - 1)) &&
               isDigits(rest.substr(second + 1)) &&
               !isPlaceholderAccount(
                   rest.substr(second + 1),
                   rest.substr(first + 1, second - first - 1).find_first_not_of('0') ==
                       std::string_view::npos);
    }
    if (id.size() > 6 && id.front() == '[' && id.back() == ']' && id[2] == ':' &&
        ((id[1] >= 'A' && id[1] <= 'Z') || (id[1] >= 'a' && id[1] <= 'z'))) {
        const std::string_view rest = id.substr(3, id.size() - 4);
        const std::size_t colon = rest.find(':');
        if (colon == std::string_view::npos || !isDigits(rest.substr(0, colon)) ||
            !isDigits(rest.substr(colon + 1)))
            return false;
        // [U:1:n] is account n / 2 in the STEAM_ form.
        const std::string_view number = rest.substr(colon + 1);
        if (number.size() > 18)
            return true;
        const unsigned long long account = std::stoull(std::string(number));
        return !isPlaceholderAccount(std::to_string(account / 2), account % 2 == 0);
    }
    return isDigits(id) && id.find_first_not_of('0') != std::string_view::npos;
}

std::uint32_t fnv1a(std::string_view text)
{
    std::uint32_t hash = 2166136261u;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

// Cut to the column with a hash of the whole, so two long names never share a key.
std::string shortenedKey(std::string key)
{
    std::size_t chars = 0;
    for (const char c : key)
        chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (chars <= Length::Name)
        return key;
    char hash[16];
    std::snprintf(hash, sizeof hash, "~%08x", fnv1a(key));
    return storedText(key, Length::Name - 9) + hash;
}

} // namespace

std::string playerRowKey(const PlayerToken &token)
{
    if (isUniqueId(token.id))
        return shortenedKey(storedText(token.id, Length::Value));
    std::string key = storedText(token.name, MaxLineBytes);
    if (isUniqueId(key))
        key.insert(0, "~");
    return shortenedKey(std::move(key));
}

bool isConsole(const PlayerToken &token)
{
    return equalsIgnoreCase(token.id, "Console");
}

Recognition ServerState::recognise(const PlayerToken &token) const
{
    const auto found = m_ids.find(std::string(token.uid));
    if (found == m_ids.end())
        return Recognition::Unseen;
    // A pending id becomes the Steam id of the same uid: only two Steam ids differ for sure.
    return found->second == token.id || !isUniqueId(found->second) || !isUniqueId(token.id)
               ? Recognition::SameId
               : Recognition::OtherId;
}

void ServerState::rememberPlayer(const PlayerToken &token)
{
    // A server has at most a few hundred players; a sender who makes up ever new uids only
    // makes the server's word count for less.
    if (m_ids.size() >= MaxPlayers && !m_ids.count(std::string(token.uid)))
        m_ids.clear();
    std::string &id = m_ids[std::string(token.uid)];
    if (id != token.id)
        id.assign(token.id);
}

void ServerState::forgetPlayer(const PlayerToken &token)
{
    m_ids.erase(std::string(token.uid));
}

const std::string &ServerState::seenKey(const PlayerToken &token)
{
    m_key.clear();
    for (const std::string_view part : {token.name, token.uid, token.id, token.team}) {
        m_key += part;
        m_key += '\0';
    }
    m_key += token.hasTeam ? '1' : '0';
    return m_key;
}

std::int64_t ServerState::seenPlayer(const PlayerToken &token, std::int64_t game,
                                     std::uint64_t names)
{
    const auto found = m_seen.find(seenKey(token));
    if (found == m_seen.end() || found->second.game != game || found->second.names != names)
        return 0;
    return found->second.record;
}

void ServerState::markSeen(const PlayerToken &token, std::int64_t game, std::uint64_t names,
                           std::int64_t record)
{
    if (game == 0 || record == 0)
        return;
    if (m_seen.size() >= MaxPlayers)
        m_seen.clear();
    m_seen[seenKey(token)] = {game, names, record};
}

namespace {

// Records the database gave need no forgetting.
std::vector<std::int64_t> &noneToForget()
{
    thread_local std::vector<std::int64_t> none;
    none.clear();
    return none;
}

} // namespace

void Ledger::rememberName(Table table, std::int64_t record, std::string text)
{
    m_names[index(table)].insert(std::move(text), record, noneToForget());
}

std::size_t Ledger::cachedNames() const
{
    std::size_t names = m_cvars.size() + m_serverRecords.size();
    for (const NameCache &cache : m_names)
        names += cache.size();
    return names;
}

std::uint64_t Ledger::droppedNames() const
{
    std::uint64_t names = m_cvars.dropped() + m_serverRecords.dropped();
    for (const NameCache &cache : m_names)
        names += cache.dropped();
    return names;
}

void Ledger::rememberCvar(std::int64_t record, const std::string &name, const std::string &value)
{
    std::string key = name;
    key += '\0';
    key += value;
    m_cvars.insert(std::move(key), record, noneToForget());
}

void Ledger::rememberServer(std::int64_t record, const std::string &ip, const std::string &port)
{
    m_serverRecords.insert(ip + ":" + port, record, noneToForget());
}

void Ledger::rememberServerCvar(std::int64_t server, std::int64_t cvar)
{
    m_links.insert({server, cvar, 0, Table::ServersCvars});
}

std::size_t LinkHash::operator()(const Link &link) const
{
    std::size_t hash = std::hash<std::int64_t>()(link.a);
    for (const std::int64_t part : {link.b, link.c, std::int64_t(link.table)})
        hash = hash * 1099511628211ull ^ std::hash<std::int64_t>()(part);
    return hash;
}

ServerState &Ledger::server(std::string_view ip, std::string_view port,
                            const std::string &receivedIso, RowBatch &batch)
{
    std::string key(ip);
    key += ':';
    key += port;
    if (ServerState *known = m_servers.find(key))
        return *known;
    ServerState &state =
        m_servers.add(key, [&](const std::string &leavingKey, ServerState &leaving) {
            retire(leavingKey, leaving, batch);
        });
    // Taken only now: the servers let go to make room may have pushed its Record out. The
    // server keeps it while it is here.
    if (const std::optional<std::int64_t> record = m_serverRecords.take(key)) {
        state.id = *record;
        return state;
    }
    // A server whose Record was let go too is found again by its address and port when this
    // row is written: the insert then writes nothing.
    state.id = next(Table::Servers);
    batch.add(insertInto(Table::Servers), Value::record(state.id), Value::null(),
              Value::of(storedText(ip, Length::Address)), Value::of(storedText(port, Length::Port)),
              Value::of(std::int64_t(0)), Value::of(receivedIso));
    return state;
}

void Ledger::retire(const std::string &key, ServerState &server, RowBatch &batch)
{
    if (server.dirty) {
        writeServer(server, batch);
        std::erase(m_dirty, &server);
    }
    forgetGame(server, batch);
    m_serverRecords.insert(key, server.id, batch.forgotten());
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

// The datagrams are added to the row's count, so a server found again after it was dropped
// goes on counting; a name not given since keeps the one the row has.
void Ledger::writeServer(ServerState &server, RowBatch &batch)
{
    batch.add(Statement::CountServer, Value::textOrNull(server.name), Value::of(server.packets),
              Value::of(server.lastSeen), Value::record(server.id));
    server.packets = 0;
    server.dirty = false;
}

void Ledger::sealServers(RowBatch &batch)
{
    for (ServerState *server : m_dirty)
        writeServer(*server, batch);
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
    NameCache &cache = m_names[index(table)];
    if (const std::optional<std::int64_t> found = cache.find(text))
        return *found;
    const std::int64_t record = next(table);
    cache.insert(text, record, batch.forgotten());
    batch.add(insertInto(table), Value::record(record), Value::of(std::move(text)),
              Value::of(time.iso()));
    return record;
}

std::int64_t Ledger::cvar(std::string name, std::string value, const LogTime &time, RowBatch &batch,
                          bool remember)
{
    std::string key;
    if (remember) {
        key = name;
        key += '\0';
        key += value;
        if (const std::optional<std::int64_t> found = m_cvars.find(key))
            return *found;
    }
    const std::int64_t record = next(Table::Cvars);
    batch.add(insertInto(Table::Cvars), Value::record(record), Value::of(std::move(name)),
              Value::of(std::move(value)), Value::of(time.iso()));
    if (remember)
        m_cvars.insert(std::move(key), record, batch.forgotten());
    else
        batch.markLastTransient(); // the database finds an earlier row of the same text
    return record;
}

void Ledger::link(Table table, std::int64_t a, std::int64_t b, std::int64_t c, RowBatch &batch)
{
    if (!m_links.insert({a, b, c, table}))
        return;
    if (table == Table::GamesPlayersCvars || table == Table::GamesPlayersTeams)
        batch.add(insertInto(table), Value::record(next(table)), Value::record(a), Value::record(b),
                  Value::record(c));
    else
        batch.add(insertInto(table), Value::record(next(table)), Value::record(a),
                  Value::record(b));
}

void Ledger::linkServerCvar(ServerState &server, std::int64_t cvar, RowBatch &batch)
{
    link(Table::ServersCvars, server.id, cvar, 0, batch);
}

void Ledger::linkGameCvar(GameState &game, std::int64_t cvar, RowBatch &batch)
{
    link(Table::GamesCvars, game.id, cvar, 0, batch);
}

void Ledger::logRow(std::string_view ip, std::int32_t port, std::string_view bytes,
                    const std::string &receivedIso, std::int64_t game, RowBatch &batch)
{
    const std::int64_t record = next(Table::Logs);
    batch.add(insertInto(Table::Logs), Value::record(record),
              Value::of(storedText(ip, Length::LogAddr)), Value::of(std::int64_t(port)),
              Value::blob(bytes), Value::of(receivedIso));
    if (game)
        batch.add(insertInto(Table::LogsGames), Value::record(next(Table::LogsGames)),
                  Value::record(record), Value::record(game));
}

} // namespace ledgerwell
