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

Totals &Standings::totals(const QString &scope, qint64 player)
{
    Totals &totals = m_totals[{scope, player}];
    totals.changed = true;
    m_changed = true;
    return totals;
}

WeaponTotals &Standings::weapon(qint64 player, qint64 weapon)
{
    WeaponTotals &totals = m_weapons[{player, weapon}];
    totals.changed = true;
    m_changed = true;
    return totals;
}

Standings::Changes Standings::takeChanges()
{
    Changes changes = std::exchange(m_changes, {});
    for (auto it = m_totals.begin(); it != m_totals.end(); ++it) {
        if (std::exchange(it->changed, false))
            changes.totals.insert(it.key());
    }
    for (auto it = m_weapons.begin(); it != m_weapons.end(); ++it) {
        if (std::exchange(it->changed, false))
            changes.weapons.insert(it.key());
    }
    m_changed = false;
    return changes;
}

// The point stored is the rating after his latest contest of the game, taken now: a flush
// may come many games later.
void Standings::rated(const QString &scope, qint64 player, qint64 game, const GameInfo &info,
                      const Skill &skill)
{
    m_changes.history.insert({{scope, player}, game}, {info.start, skill});
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

void Standings::present(qint64 player, const GameInfo &game, qint64 gameRecord, qint64 offset)
{
    PlayerInfo &info = m_players[player];
    if (gameRecord != 0 && info.lastGame == gameRecord) {
        const qint64 played = offset - info.lastOffset;
        if (played > 0 && played <= LongestGap) {
            for (const QString &scope : game.scopes)
                totals(scope, player).seconds += played;
        }
    }
    if (gameRecord != 0)
        info.lastGame = gameRecord;
    info.lastOffset = offset;
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
    present(event.killer, game, gameRecord, event.offset);
    if (hasVictim)
        present(event.victim, game, gameRecord, event.offset);

    const qint64 victimOrSelf = event.victim > 0 ? event.victim : event.killer;
    for (const QString &scope : game.scopes) {
        // Both rows exist before either is held: adding one to the hash may move the other.
        totals(scope, victimOrSelf);
        Totals &killer = totals(scope, event.killer);
        if (event.type == QLatin1String("kill")) {
            Totals &victim = totals(scope, victimOrSelf);
            ++killer.kills;
            killer.headshots += event.headshot ? 1 : 0;
            killer.extras += event.extras ? 1 : 0;
            ++victim.deaths;
            if (hasVictim) {
                rateContest({&killer.skill}, {&victim.skill});
                if (gameRecord != 0) {
                    rated(scope, event.killer, gameRecord, game, killer.skill);
                    rated(scope, event.victim, gameRecord, game, victim.skill);
                }
            }
        } else if (event.type == QLatin1String("teamkill")) {
            ++killer.teamkills;
            ++totals(scope, victimOrSelf).deaths;
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
    if (event.weapon <= 0)
        return;
    for (const qint64 who : {event.killer, qint64(0)}) {
        WeaponTotals &used = weapon(who, event.weapon);
        if (event.type == QLatin1String("kill")) {
            ++used.kills;
            used.headshots += event.headshot ? 1 : 0;
        } else if (event.type == QLatin1String("attack")) {
            used.damage += event.score;
        } else if (event.type == QLatin1String("shot_fired")) {
            ++used.shots;
        } else if (event.type == QLatin1String("shot_hit")) {
            ++used.hits;
        }
    }
    if (event.type == QLatin1String("kill") && event.victim > 0)
        ++weapon(event.victim, event.weapon).deaths;
}

// A kill by the world (CS:GO's bomb) has no killer: a death of its victim, and no contest.
void Standings::worldKill(const ScoreEvent &event, const GameInfo &game, qint64 gameRecord)
{
    if (event.type != QLatin1String("kill") || event.victim <= 0)
        return;
    present(event.victim, game, gameRecord, event.offset);
    if (gameRecord != 0)
        ++m_changes.lines[{gameRecord, event.victim}].deaths;
    for (const QString &scope : game.scopes)
        ++totals(scope, event.victim).deaths;
    if (event.weapon > 0)
        ++weapon(event.victim, event.weapon).deaths;
}

void Standings::apply(const RoundEvent &round, const GameInfo &game)
{
    QList<qint64> present, winners, losers;
    for (auto it = round.sides.cbegin(); it != round.sides.cend(); ++it) {
        if (!isPlayingTeam(it.value()))
            continue;
        present << it.key();
        (it.value() == round.winner ? winners : losers) << it.key();
    }
    for (const QString &scope : game.scopes) {
        // Every winner and loser is present, so their rows exist before pointers are taken.
        std::vector<Skill *> won, lost;
        for (const qint64 player : std::as_const(present))
            ++totals(scope, player).rounds;
        for (const qint64 player : std::as_const(winners)) {
            ++totals(scope, player).won;
            won.push_back(&totals(scope, player).skill);
        }
        for (const qint64 player : std::as_const(losers))
            lost.push_back(&totals(scope, player).skill);
        rateContest(won, lost);
        if (!won.empty() && !lost.empty()) {
            for (const qint64 player : winners + losers)
                rated(scope, player, round.game, game, m_totals.value({scope, player}).skill);
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
    totals(QString(), player);
}
