// What each kind of line writes.

#include "Ledger.h"

#include "LedgerRules.h"
#include "TextRules.h"

namespace ledgerwell {

using namespace rules;

namespace {

bool sameTeam(const Event &event)
{
    return event.hasOther && !event.actor.team.empty() && event.actor.team == event.other.team;
}

// The flag words of a kill, "headshot" among them when the kill was one.
std::string killFlags(const Event &event, bool &headshot)
{
    std::string flags;
    const auto addFlag = [&](std::string_view word) {
        if (equalsIgnoreCase(word, "headshot"))
            headshot = true;
        flags += flags.empty() ? "" : " ";
        flags += word;
    };
    for (const Property &property : event.properties) {
        if (!property.hasValue)
            addFlag(property.key);
    }
    if (const std::string_view custom = event.property("customkill"); !custom.empty())
        addFlag(custom);
    return storedText(flags, Length::Value);
}

std::string_view position(std::string_view bracketed, const Event &event, std::string_view key)
{
    return bracketed.empty() ? event.property(key) : bracketed;
}

} // namespace

std::int64_t Ledger::type(std::string_view name, const LogTime &time, RowBatch &batch)
{
    return named(Table::Types, storedText(name, Length::Name), time, batch);
}

std::int64_t Ledger::weapon(std::string_view name, const LogTime &time, RowBatch &batch)
{
    std::string stored = storedText(name, Length::Name);
    return stored.empty() ? 0 : named(Table::Weapons, std::move(stored), time, batch);
}

std::int64_t Ledger::scoreRow(const ServerState &server, const LogTime &time, std::int64_t killer,
                              std::int64_t victim, std::int64_t type, std::int64_t weapon,
                              std::int64_t score, RowBatch &batch)
{
    const double offset = double(time.epochSeconds() - server.game.startSeconds);
    const std::int64_t record = next(Table::Scores);
    batch.add(insertInto(Table::Scores), Value::record(record), Value::record(killer),
              Value::record(victim), Value::record(type), Value::record(weapon), Value::of(score),
              Value::of(offset));
    return record;
}

void Ledger::result(const ServerState &server, const LogTime &time, const char *kind,
                    std::string_view team, std::string_view what, std::string_view score,
                    RowBatch &batch)
{
    batch.add(insertInto(Table::Results), Value::record(next(Table::Results)),
              Value::record(server.game.id), Value::of(std::string(kind)),
              Value::textOrNull(storedText(team, Length::Name)),
              Value::textOrNull(storedText(what, Length::Value)),
              Value::textOrNull(storedText(score, Length::Name)), Value::of(time.iso()));
}

void Ledger::detail(const ServerState &server, std::int64_t score, std::int64_t player,
                    const char *kind, std::string_view text, RowBatch &batch)
{
    batch.add(insertInto(Table::Details), Value::record(next(Table::Details)),
              score ? Value::record(score) : Value::null(), Value::record(server.game.id),
              player ? Value::record(player) : Value::null(), Value::of(std::string(kind)),
              Value::textOrNull(storedText(text, Length::Name)));
}

void Ledger::playerCvar(ServerState &server, std::int64_t player, const char *name,
                        std::string_view value, const LogTime &time, RowBatch &batch, bool remember)
{
    const std::int64_t record = cvar(name, storedText(value, Length::Value), time, batch, remember);
    if (remember) {
        link(Table::GamesPlayersCvars, server.game.id, player, record, batch);
        return;
    }
    // Chat: a row of its own each time, so there is nothing to remember it by.
    batch.add(insertInto(Table::GamesPlayersCvars), Value::record(next(Table::GamesPlayersCvars)),
              Value::record(server.game.id), Value::record(player), Value::record(record));
}

void Ledger::playerTeam(ServerState &server, std::int64_t player, std::string_view teamName,
                        const LogTime &time, RowBatch &batch)
{
    if (teamName.empty())
        return;
    const std::int64_t team = named(Table::Teams, storedText(teamName, Length::Name), time, batch);
    link(Table::GamesPlayersTeams, server.game.id, player, team, batch);
}

std::int64_t Ledger::player(ServerState &server, const PlayerToken &token, const LogTime &time,
                            RowBatch &batch)
{
    if (const std::int64_t seen = server.seenPlayer(token, server.game.id, playerNames())) {
        server.rememberPlayer(token);
        return seen;
    }
    const std::int64_t record = named(Table::Players, playerRowKey(token), time, batch);
    playerCvar(server, record, "name", token.name, time, batch);
    playerTeam(server, record, token.team, time, batch);
    server.rememberPlayer(token);
    server.markSeen(token, server.game.id, playerNames(), record);
    return record;
}

// The caches a player's rows are found in: a change in any means his rows must be found again.
std::uint64_t Ledger::playerNames() const
{
    return m_names[index(Table::Players)].generation() + m_names[index(Table::Teams)].generation() +
           m_cvars.generation();
}

// Killer and victim are the same person only when the server gave them the same uid: two
// players who share a placeholder Steam id still kill each other.
void Ledger::killed(ServerState &server, const ParsedLine &line, std::int64_t actor,
                    RowBatch &batch)
{
    const Event &event = line.event;
    const LogTime &time = line.time;
    const std::int64_t victim = player(server, event.other, time, batch);
    const std::int64_t weaponRecord = weapon(event.text, time, batch);
    if (equalsIgnoreCase(event.property("customkill"), "feign_death")) {
        // A TF2 Spy's Dead Ringer: the server logs a kill, but nobody died.
        scoreRow(server, time, actor, victim, type("feign death", time, batch), weaponRecord, 0,
                 batch);
        return;
    }
    std::int64_t score = 0;
    if (event.actor.uid == event.other.uid)
        score = scoreRow(server, time, actor, actor, type("suicide", time, batch), weaponRecord, -1,
                         batch);
    else if (sameTeam(event))
        score = scoreRow(server, time, actor, victim, type("teamkill", time, batch), weaponRecord,
                         -1, batch);
    else
        score = scoreRow(server, time, actor, victim, type("kill", time, batch), weaponRecord, 1,
                         batch);
    bool headshot = false;
    std::string flags = killFlags(event, headshot);
    const std::string_view killerAt = position(event.actorPosition, event, "attacker_position");
    const std::string_view victimAt = position(event.otherPosition, event, "victim_position");
    if (flags.empty() && killerAt.empty() && victimAt.empty())
        return; // nothing the Scores row does not hold
    batch.add(insertInto(Table::Kills), Value::record(next(Table::Kills)), Value::record(score),
              Value::record(server.game.id), Value::of(std::int64_t(headshot ? 1 : 0)),
              Value::textOrNull(std::move(flags)),
              Value::textOrNull(storedText(killerAt, Length::Name)),
              Value::textOrNull(storedText(victimAt, Length::Name)));
}

// A kill by the world (the bomb): nobody is the killer, and nobody scores.
void Ledger::killedByWorld(ServerState &server, const ParsedLine &line, std::int64_t victim,
                           RowBatch &batch)
{
    const Event &event = line.event;
    const std::int64_t score =
        scoreRow(server, line.time, 0, victim, type("kill", line.time, batch),
                 weapon(event.text, line.time, batch), 0, batch);
    if (event.actorPosition.empty())
        return;
    batch.add(insertInto(Table::Kills), Value::record(next(Table::Kills)), Value::record(score),
              Value::record(server.game.id), Value::of(std::int64_t(0)), Value::null(),
              Value::null(), Value::of(storedText(event.actorPosition, Length::Name)));
}

// An attack scores no points; its Score carries the damage done.
void Ledger::attacked(ServerState &server, const ParsedLine &line, std::int64_t actor,
                      std::string_view weaponName, RowBatch &batch)
{
    const Event &event = line.event;
    const std::int64_t victim = event.hasOther ? player(server, event.other, line.time, batch) : 0;
    const std::int64_t record = scoreRow(
        server, line.time, actor, victim,
        type(sameTeam(event) ? "teamattack" : "attack", line.time, batch),
        weapon(weaponName, line.time, batch), leadingNumber(event.property("damage")), batch);
    if (const std::string_view hitgroup = event.property("hitgroup"); !hitgroup.empty())
        detail(server, record, actor, "hitgroup", hitgroup, batch);
}

void Ledger::triggered(ServerState &server, const ParsedLine &line, std::int64_t actor,
                       RowBatch &batch)
{
    const Event &event = line.event;
    const LogTime &time = line.time;
    if (equalsIgnoreCase(event.text, "damage")) {
        attacked(server, line, actor, event.property("weapon"), batch);
        return;
    }
    if (equalsIgnoreCase(event.text, "weaponstats")) {
        weaponStats(server, line, actor, batch);
        return;
    }
    if (equalsIgnoreCase(event.text, "kill assist") && event.hasOther) {
        scoreRow(server, time, actor, player(server, event.other, time, batch),
                 type("assist", time, batch), 0, 0, batch);
        return;
    }
    std::int64_t victim = event.hasOther ? player(server, event.other, time, batch) : 0;
    PlayerToken owner;
    if (!victim && splitPlayerToken(event.property("objectowner"), owner, true) &&
        !isConsole(owner))
        victim = player(server, owner, time, batch);
    const std::string_view weaponName =
        event.detail.empty() ? event.property("weapon") : event.detail;
    // Only a heal scores its healing: a medic's death names the healing he had done, which
    // is no score of his killer's.
    const std::int64_t points = equalsIgnoreCase(event.text, "healed")
                                    ? leadingNumber(event.property("healing"))
                                    : leadingNumber(event.property("points"));
    const std::int64_t record = scoreRow(server, time, actor, victim, type(event.text, time, batch),
                                         weapon(weaponName, time, batch), points, batch);
    // A medic who dies with a full charge drops it: a figure of the medic's, the victim.
    if (victim && equalsIgnoreCase(event.text, "medic_death") &&
        leadingNumber(event.property("ubercharge")) == 1)
        detail(server, record, victim, "drop", {}, batch);
}

// `triggered "weaponstats" (weapon "ak47") (shots "12") (hits "3") (kills "1") ...`, as
// GoldSrc stats plugins write at the end of a round or a life.
void Ledger::weaponStats(ServerState &server, const ParsedLine &line, std::int64_t actor,
                         RowBatch &batch)
{
    const Event &event = line.event;
    const auto value = [&](std::string_view key) {
        return Value::of(leadingNumber(event.property(key)));
    };
    const std::int64_t weaponRecord = weapon(event.property("weapon"), line.time, batch);
    batch.add(insertInto(Table::WeaponStats), Value::record(next(Table::WeaponStats)),
              Value::record(server.game.id), Value::record(actor), Value::record(weaponRecord),
              value("shots"), value("hits"), value("kills"), value("headshots"), value("damage"),
              value("deaths"));
}

void Ledger::teamTriggered(ServerState &server, const ParsedLine &line, RowBatch &batch)
{
    const Event &event = line.event;
    ensureGame(server, line.time, batch);
    named(Table::Teams, storedText(event.text, Length::Name), line.time, batch);
    const std::int64_t record =
        scoreRow(server, line.time, 0, 0, type(event.value, line.time, batch), 0,
                 leadingNumber(event.property("points")), batch);
    // TF2 names the players who took a point: (player1 "TOKEN") (position1 "...") ...
    if (equalsIgnoreCase(event.value, "pointcaptured")) {
        for (const Property &property : event.properties) {
            PlayerToken capper;
            if (property.key.size() > 6 && startsWithIgnoreCase(property.key, "player") &&
                isDigits(property.key.substr(6)) &&
                splitPlayerToken(property.value, capper, true) && !isConsole(capper))
                detail(server, record, player(server, capper, line.time, batch), "capper",
                       event.property("cpname"), batch);
        }
    }
    // Counter-Strike ends every round with the winner's trigger and both teams' scores.
    if (event.hasProperty("CT") && event.hasProperty("T")) {
        std::string score(event.property("CT"));
        score += ':';
        score += event.property("T");
        result(server, line.time, "round", event.text, event.value, score, batch);
    }
}

void Ledger::worldTriggered(ServerState &server, const ParsedLine &line, RowBatch &batch)
{
    const Event &event = line.event;
    ensureGame(server, line.time, batch);
    scoreRow(server, line.time, 0, 0, type(event.text, line.time, batch), 0,
             leadingNumber(event.property("points")), batch);
    if (equalsIgnoreCase(event.text, "Round_Win") && event.hasProperty("winner"))
        result(server, line.time, "round", event.property("winner"), event.text, {}, batch);
    else if (equalsIgnoreCase(event.text, "Game_Over"))
        result(server, line.time, "match", {}, event.value, {}, batch);
}

std::int64_t Ledger::playerEvent(ServerState &server, const ParsedLine &line, RowBatch &batch)
{
    const Event &event = line.event;
    const LogTime &time = line.time;
    if (isConsole(event.actor))
        return server.game.id;
    ensureGame(server, time, batch);
    const std::int64_t actor = player(server, event.actor, time, batch);
    switch (event.kind) {
    case EventKind::Connected:
        playerCvar(server, actor, "address", event.text, time, batch);
        break;
    case EventKind::JoinedTeam:
        playerTeam(server, actor, event.text, time, batch);
        // Games_Players_Teams says which teams he joined, not when: a TF2 stopwatch match
        // moves every player to the other colour at half time, which only this row dates.
        if (!event.text.empty())
            scoreRow(server, time, actor, 0,
                     type("joined team " + std::string(event.text), time, batch), 0, 0, batch);
        break;
    case EventKind::ChangedRole:
        playerCvar(server, actor, "role", event.text, time, batch);
        break;
    case EventKind::ChangedName:
        playerCvar(server, actor, "name", event.text, time, batch);
        break;
    case EventKind::Disconnected:
        playerCvar(server, actor, "disconnected", event.property("reason"), time, batch);
        server.forgetPlayer(event.actor);
        break;
    case EventKind::Killed:
        killed(server, line, actor, batch);
        break;
    case EventKind::Suicide:
        scoreRow(server, time, actor, actor, type("suicide", time, batch),
                 weapon(event.text, time, batch), -1, batch);
        break;
    case EventKind::Assist:
    case EventKind::FlashAssist:
        scoreRow(server, time, actor, player(server, event.other, time, batch),
                 type(event.kind == EventKind::Assist ? "assist" : "flash assist", time, batch), 0,
                 0, batch);
        break;
    case EventKind::Blinded:
        player(server, event.other, time, batch);
        break;
    case EventKind::Triggered:
        triggered(server, line, actor, batch);
        break;
    case EventKind::Attacked:
        attacked(server, line, actor, event.text, batch);
        break;
    case EventKind::KilledByWorld:
        killedByWorld(server, line, actor, batch);
        break;
    case EventKind::Spawned:
        scoreRow(server, time, actor, 0, type("spawned as " + std::string(event.text), time, batch),
                 0, 0, batch);
        break;
    case EventKind::PickedUp:
        scoreRow(server, time, actor, 0, type("picked up " + std::string(event.text), time, batch),
                 0, leadingNumber(event.property("healing")), batch);
        break;
    case EventKind::Say:
        playerCvar(server, actor, "say", event.text, time, batch, false);
        break;
    case EventKind::SayTeam:
        playerCvar(server, actor, "say_team", event.text, time, batch, false);
        break;
    default: // entered the game, and actions that are not scored
        break;
    }
    return server.game.id;
}

namespace {

void mvpsOfThisGame(ServerState &server)
{
    if (server.mvpGame != server.game.id) {
        server.mvps.clear();
        server.mvpGame = server.game.id;
        server.mvpMatch = 1;
    }
}

} // namespace

// Each player's MVPs in the match as the server counted them at a round's start, written when
// they change, "MATCH:MVPS": a player's last row of a match holds his count.
void Ledger::roundStatsRead(ServerState &server, const LogTime &time, RowBatch &batch)
{
    const RoundStatsBlock &block = server.roundStats;
    if (!server.game.id ||
        (!server.game.map.empty() && !equalsIgnoreCase(block.map(), server.game.map)))
        return; // no game, or another map's block
    mvpsOfThisGame(server);
    for (const RoundStatsBlock::Player &entry : block.players()) {
        const auto written = server.mvps.find(entry.account);
        if (written != server.mvps.end() && written->second == entry.mvps)
            continue;
        const std::string id = "[U:1:" + entry.account + "]";
        PlayerToken token;
        token.id = id;
        detail(server, 0, named(Table::Players, playerRowKey(token), time, batch), "mvp",
               std::to_string(server.mvpMatch) + ':' + std::to_string(entry.mvps), batch);
        server.mvps[entry.account] = entry.mvps;
    }
}

std::int64_t Ledger::score(ServerState &server, const ParsedLine &line, RowBatch &batch)
{
    const Event &event = line.event;
    const LogTime &time = line.time;
    if (event.kind != EventKind::RoundStats)
        server.roundStats.interrupt(); // a block is whole only when nothing cuts into it
    switch (event.kind) {
    case EventKind::RoundStats:
        if (server.roundStats.read(event))
            roundStatsRead(server, time, batch);
        return server.game.id;
    case EventKind::CvarsStart:
    case EventKind::CvarsEnd:
    case EventKind::ServerMessage:
    case EventKind::TeamOther:
        return server.game.id;
    case EventKind::LogStarted:
        server.forgetPlayers();
        server.logStarted = true;
        server.version = storedText(event.property("version"), Length::Name);
        server.gameName = storedText(lastPathPart(event.property("game")), Length::Name);
        return server.game.id;
    case EventKind::LogClosed:
        closeLog(server, time, batch);
        return server.game.id;
    case EventKind::Cvar: {
        const std::int64_t record = cvar(storedText(event.text, Length::Name),
                                         storedText(event.value, Length::Value), time, batch);
        linkServerCvar(server, record, batch);
        if (server.game.id)
            linkGameCvar(server.game, record, batch);
        if (equalsIgnoreCase(event.text, "hostname"))
            setServerName(server, event.value);
        return server.game.id;
    }
    case EventKind::LoadingMap:
    case EventKind::StartedMap:
        startMapGame(server, line, batch);
        return server.game.id;
    case EventKind::ServerName:
        setServerName(server, event.text);
        return server.game.id;
    case EventKind::TeamTriggered:
        teamTriggered(server, line, batch);
        return server.game.id;
    case EventKind::TeamScore: {
        // The team is named in the type ("CT scored"), as Scores has no team column.
        ensureGame(server, time, batch);
        named(Table::Teams, storedText(event.text, Length::Name), time, batch);
        std::string typeName(event.text);
        typeName += ' ';
        typeName += event.detail;
        scoreRow(server, time, 0, 0, type(typeName, time, batch), 0, leadingNumber(event.value),
                 batch);
        return server.game.id;
    }
    case EventKind::WorldTriggered:
        worldTriggered(server, line, batch);
        return server.game.id;
    case EventKind::GameOver:
        ensureGame(server, time, batch);
        result(server, time, "match", {}, event.detail, event.value, batch);
        mvpsOfThisGame(server);
        ++server.mvpMatch;
        server.mvps.clear();
        return server.game.id;
    default:
        return playerEvent(server, line, batch);
    }
}

} // namespace ledgerwell
