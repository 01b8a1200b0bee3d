#include "Standings.h"

namespace {

// Time between two events of a player in one game counts as played unless it is longer
// than this: he was dead, spectating or away.
constexpr qint64 LongestGap = 300;

} // namespace

bool isPlayingTeam(const QString &team)
{
    // TF2 tags a player "unknown" while he connects again, before he is on a team.
    return !team.isEmpty() && team.compare(QLatin1String("Spectator"), Qt::CaseInsensitive) != 0 &&
           team.compare(QLatin1String("Unassigned"), Qt::CaseInsensitive) != 0 &&
           team.compare(QLatin1String("unknown"), Qt::CaseInsensitive) != 0;
}

int Standings::scopeId(const QString &name)
{
    const auto known = m_scopeIds.constFind(name);
    if (known != m_scopeIds.cend())
        return *known;
    m_scopeNames << name;
    return *m_scopeIds.insert(name, int(m_scopeNames.size() - 1));
}

Standings::ScopeIds Standings::scopeIds(const QStringList &names)
{
    ScopeIds ids;
    for (const QString &name : names)
        ids << scopeId(name);
    return ids;
}

namespace {

// A player's few scopes and weapons are found by a scan, which beats a hash at that size.
ScopedTotals &keptIn(PlayerInfo &player, int scope)
{
    for (ScopedTotals &kept : player.scopes) {
        if (kept.scope == scope)
            return kept;
    }
    ScopedTotals &added = player.scopes.emplace_back();
    added.scope = scope;
    return added;
}

WeaponTotals &keptFor(PlayerInfo &player, qint64 weapon)
{
    for (auto &[record, kept] : player.weapons) {
        if (record == weapon)
            return kept;
    }
    // Grown a few at a time: doubling left a third of millions of entries unused.
    if (player.weapons.size() == player.weapons.capacity())
        player.weapons.reserve(player.weapons.size() + 8);
    return player.weapons.emplace_back(weapon, WeaponTotals{}).second;
}

} // namespace

// These mark what they return changed: whoever asks is about to add to it.
ScopedTotals &Standings::scoped(PlayerInfo &player, int scope)
{
    m_changed = true;
    ScopedTotals &kept = keptIn(player, scope);
    kept.totals.changed = true;
    return kept;
}

WeaponTotals &Standings::weapon(PlayerInfo &player, qint64 weapon)
{
    m_changed = true;
    WeaponTotals &kept = keptFor(player, weapon);
    kept.changed = true;
    return kept;
}

WeaponTotals &Standings::everyones(qint64 weapon)
{
    m_changed = true;
    WeaponTotals &kept = m_everyones[weapon];
    kept.changed = true;
    return kept;
}

const ScopedTotals *Standings::find(const ScopeKey &key) const
{
    const auto player = m_players.constFind(key.second);
    const auto scope = m_scopeIds.constFind(key.first);
    if (player == m_players.cend() || scope == m_scopeIds.cend())
        return nullptr;
    for (const ScopedTotals &kept : player->scopes) {
        if (kept.scope == *scope)
            return &kept;
    }
    return nullptr;
}

Totals Standings::totals(const ScopeKey &key) const
{
    const ScopedTotals *kept = find(key);
    return kept ? kept->totals : Totals{};
}

bool Standings::hasTotals(const ScopeKey &key) const
{
    return find(key) != nullptr;
}

WeaponTotals Standings::weapon(const WeaponKey &key) const
{
    if (key.first == 0)
        return m_everyones.value(key.second);
    const auto player = m_players.constFind(key.first);
    if (player == m_players.cend())
        return {};
    for (const auto &[record, kept] : player->weapons) {
        if (record == key.second)
            return kept;
    }
    return {};
}

const PlayerInfo *Standings::playerInfo(qint64 record) const
{
    const auto found = m_players.constFind(record);
    return found == m_players.cend() ? nullptr : &*found;
}

void Standings::restore(const ScopeKey &key, const Totals &totals)
{
    keptIn(m_players[key.second], scopeId(key.first)).totals = totals;
}

void Standings::restore(const WeaponKey &key, const WeaponTotals &totals)
{
    (key.first == 0 ? m_everyones[key.second] : keptFor(m_players[key.first], key.second)) = totals;
}

Standings::Changes Standings::takeChanges()
{
    Changes changes = std::exchange(m_changes, {});
    for (auto it = m_players.begin(); it != m_players.end(); ++it) {
        for (ScopedTotals &kept : it->scopes) {
            const ScopeKey key{m_scopeNames.at(kept.scope), it.key()};
            if (std::exchange(kept.totals.changed, false))
                changes.totals.insert(key);
            if (kept.pointGame != 0)
                changes.history.insert({key, std::exchange(kept.pointGame, 0)}, kept.point);
        }
        for (auto &[record, kept] : it->weapons) {
            if (std::exchange(kept.changed, false))
                changes.weapons.insert({it.key(), record});
        }
    }
    for (auto it = m_everyones.begin(); it != m_everyones.end(); ++it) {
        if (std::exchange(it->changed, false))
            changes.weapons.insert({0, it.key()});
    }
    m_changed = false;
    return changes;
}

// The point stored is the rating after his latest contest of the game, taken when he moves
// on to another game or at the next flush, whichever comes first.
void Standings::rated(ScopedTotals &scoped, qint64 player, qint64 game, const GameInfo &info)
{
    if (scoped.pointGame != 0 && scoped.pointGame != game)
        m_changes.history.insert({{m_scopeNames.at(scoped.scope), player}, scoped.pointGame},
                                 scoped.point);
    scoped.pointGame = game;
    scoped.point = {info.start, scoped.totals.skill};
}

// A game's scoreboard line: kills, deaths and the rest as the game's own rows say.
void Standings::count(const ScoreEvent &event)
{
    if (event.game == 0)
        return;
    GameLine &killer = m_changes.lines[{event.game, event.killer}];
    if (event.type == QLatin1String("kill")) {
        ++killer.kills;
        killer.headshots += event.headshot ? 1 : 0;
        killer.extras += event.extras ? 1 : 0;
        if (event.victim > 0)
            ++m_changes.lines[{event.game, event.victim}].deaths;
    } else if (event.type == QLatin1String("teamkill")) {
        ++killer.teamkills;
        if (event.victim > 0)
            ++m_changes.lines[{event.game, event.victim}].deaths;
    } else if (event.type == QLatin1String("suicide")) {
        ++killer.suicides;
        ++killer.deaths;
    } else if (event.type == QLatin1String("assist")) {
        ++killer.assists;
    } else if (event.type == QLatin1String("attack")) {
        killer.damage += event.score;
        ++killer.attacks;
    }
}

void Standings::present(PlayerInfo &player, const ScopeIds &scopes, qint64 gameRecord,
                        qint64 offset)
{
    if (gameRecord != 0 && player.lastGame == gameRecord) {
        const qint64 played = offset - player.lastOffset;
        if (played > 0 && played <= LongestGap) {
            for (const int scope : scopes)
                scoped(player, scope).totals.seconds += played;
        }
    }
    if (gameRecord != 0)
        player.lastGame = gameRecord;
    player.lastOffset = offset;
}

void Standings::apply(const ScoreEvent &event, const GameInfo &game)
{
    const qint64 gameRecord = event.game;
    if (event.killer <= 0) {
        worldKill(event, game, gameRecord);
        return;
    }
    count(event);
    const bool hasVictim = event.victim > 0 && event.victim != event.killer;
    const qint64 victimOrSelf = event.victim > 0 ? event.victim : event.killer;
    const ScopeIds scopes = scopeIds(game.scopes);
    // Both players exist before either is held: adding one to the hash may move the other.
    m_players[victimOrSelf];
    PlayerInfo &killerInfo = m_players[event.killer];
    PlayerInfo &victimInfo = m_players[victimOrSelf];
    present(killerInfo, scopes, gameRecord, event.offset);
    if (hasVictim)
        present(victimInfo, scopes, gameRecord, event.offset);

    for (const int scope : scopes) {
        // Both rows exist before either is held: adding one may move the other.
        scoped(victimInfo, scope);
        ScopedTotals &killer = scoped(killerInfo, scope);
        ScopedTotals &victim = scoped(victimInfo, scope);
        Totals &k = killer.totals;
        if (event.type == QLatin1String("kill")) {
            ++k.kills;
            k.headshots += event.headshot ? 1 : 0;
            k.extras += event.extras ? 1 : 0;
            ++victim.totals.deaths;
            if (hasVictim) {
                rateContest({&k.skill}, {&victim.totals.skill});
                if (gameRecord != 0) {
                    rated(killer, event.killer, gameRecord, game);
                    rated(victim, event.victim, gameRecord, game);
                }
            }
        } else if (event.type == QLatin1String("teamkill")) {
            ++k.teamkills;
            ++victim.totals.deaths;
        } else if (event.type == QLatin1String("suicide")) {
            ++k.suicides;
            ++k.deaths;
        } else if (event.type == QLatin1String("assist")) {
            ++k.assists;
        } else if (event.type == QLatin1String("attack")) {
            k.damage += event.score;
            ++k.attacks;
        }
    }
    if (event.weapon <= 0)
        return;
    for (WeaponTotals *used : {&weapon(killerInfo, event.weapon), &everyones(event.weapon)}) {
        if (event.type == QLatin1String("kill")) {
            ++used->kills;
            used->headshots += event.headshot ? 1 : 0;
        } else if (event.type == QLatin1String("attack")) {
            used->damage += event.score;
        } else if (event.type == QLatin1String("shot_fired")) {
            ++used->shots;
        } else if (event.type == QLatin1String("shot_hit")) {
            ++used->hits;
        }
    }
    if (event.type == QLatin1String("kill") && event.victim > 0)
        ++weapon(victimInfo, event.weapon).deaths;
}

// A kill by the world (CS:GO's bomb) has no killer: a death of its victim, and no contest.
void Standings::worldKill(const ScoreEvent &event, const GameInfo &game, qint64 gameRecord)
{
    if (event.type != QLatin1String("kill") || event.victim <= 0)
        return;
    PlayerInfo &victim = m_players[event.victim];
    const ScopeIds scopes = scopeIds(game.scopes);
    present(victim, scopes, gameRecord, event.offset);
    if (gameRecord != 0)
        ++m_changes.lines[{gameRecord, event.victim}].deaths;
    for (const int scope : scopes)
        ++scoped(victim, scope).totals.deaths;
    if (event.weapon > 0)
        ++weapon(victim, event.weapon).deaths;
}

void Standings::apply(const RoundEvent &round, const GameInfo &game)
{
    struct Side
    {
        qint64 player;
        PlayerInfo *info;
        bool won;
    };
    // Every player is in the hash before any is held: adding one may move the others.
    std::vector<qint64> playing;
    for (auto it = round.sides.cbegin(); it != round.sides.cend(); ++it) {
        if (isPlayingTeam(it.value())) {
            m_players[it.key()];
            playing.push_back(it.key());
        }
    }
    std::vector<Side> sides;
    for (const qint64 player : playing)
        sides.push_back({player, &m_players[player], round.sides.value(player) == round.winner});
    for (const int scope : scopeIds(game.scopes)) {
        std::vector<ScopedTotals *> held;
        for (const Side &side : sides)
            held.push_back(&scoped(*side.info, scope)); // each player's own list: none moves
        std::vector<Skill *> won, lost;
        for (std::size_t i = 0; i < sides.size(); ++i) {
            ++held[i]->totals.rounds;
            held[i]->totals.won += sides[i].won ? 1 : 0;
            (sides[i].won ? won : lost).push_back(&held[i]->totals.skill);
        }
        rateContest(won, lost);
        if (!won.empty() && !lost.empty()) {
            for (std::size_t i = 0; i < sides.size(); ++i)
                rated(*held[i], sides[i].player, round.game, game);
        }
    }
}

void Standings::rename(qint64 player, const QString &name)
{
    PlayerInfo &info = m_players[player];
    if (info.name == name)
        return;
    info.name = name;
    m_changes.renamed.insert(player);
    scoped(info, scopeId(QString()));
}
