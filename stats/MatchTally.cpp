#include "MatchTally.h"

#include "RoundSides.h"

namespace {

void countKill(QHash<qint64, PlayerTally> &lines, const MatchEvent &event, RoundLog *round)
{
    const QString &type = event.type;
    if (type == QLatin1String("kill")) {
        if (event.killer != 0) {
            ++lines[event.killer].kills;
            lines[event.killer].headshots += event.headshot ? 1 : 0;
        }
        ++lines[event.victim].deaths;
    } else if (type == QLatin1String("teamkill")) {
        ++lines[event.killer].teamkills;
        ++lines[event.victim].deaths;
    } else if (type == QLatin1String("suicide")) {
        ++lines[event.killer].suicides;
        ++lines[event.killer].deaths;
    } else {
        return;
    }
    if (round)
        round->kills << event;
}

} // namespace

bool isTrigger(const MatchEvent &event)
{
    return event.killer == 0 && event.victim == 0;
}

// The figures of one event of the match proper.
void count(QHash<qint64, PlayerTally> &lines, const MatchEvent &event, RoundLog *round,
           const MatchInput &input)
{
    const QString &type = event.type;
    countKill(lines, event, round);
    if (type == QLatin1String("assist")) {
        ++lines[event.killer].assists;
        if (round)
            round->assisted << event.killer;
    } else if (type == QLatin1String("flash assist")) {
        ++lines[event.killer].flashAssists;
    } else if (type == QLatin1String("attack")) {
        lines[event.killer].damage += event.score;
    } else if (type == QLatin1String("healed")) {
        lines[event.killer].heals += event.score;
    } else if (type == QLatin1String("chargedeployed")) {
        ++lines[event.killer].ubers;
    } else if (type == QLatin1String("medic_death")) {
        ++lines[event.victim].medicDeaths;
        lines[event.victim].drops += input.drops.contains(event.record) ? 1 : 0;
    } else if (type == QLatin1String("pointcaptured")) { // only a team's has cappers
        for (const qint64 capper : input.cappers.value(event.record))
            ++lines[capper].captures;
    } else if (const int bomb = bombSide(type); round && bomb != 0) {
        round->bomb[event.killer] += bomb;
    } else if (type.startsWith(SpawnedAs)) {
        const QString role = type.mid(SpawnedAs.size());
        QStringList &classes = lines[event.killer].classes;
        if (!classes.contains(role, Qt::CaseInsensitive))
            classes << role;
    }
}

void scoreRound(QHash<qint64, PlayerTally> &lines, const RoundLog &round, int number)
{
    for (const qint64 player : round.present) {
        PlayerTally &line = lines[player];
        if (line.firstRound < 0)
            line.firstRound = number;
        line.lastRound = number;
    }
    QHash<qint64, int> kills;
    QSet<qint64> died, traded;
    bool first = true;
    for (qsizetype i = 0; i < round.kills.size(); ++i) {
        const MatchEvent &kill = round.kills.at(i);
        died << (kill.type == QLatin1String("suicide") ? kill.killer : kill.victim);
        if (kill.type != QLatin1String("kill") || kill.killer == 0)
            continue;
        ++kills[kill.killer];
        if (first && !round.beforeStart.contains(kill.record)) {
            ++lines[kill.killer].firstKills;
            ++lines[kill.victim].firstDeaths;
            first = false;
        }
        for (qsizetype j = i + 1; j < round.kills.size(); ++j) {
            const MatchEvent &revenge = round.kills.at(j);
            if (revenge.offset - kill.offset > TradeSeconds)
                break;
            if (revenge.type == QLatin1String("kill") && revenge.killer != 0 &&
                revenge.victim == kill.killer) {
                traded << kill.victim;
                break;
            }
        }
    }
    for (auto it = kills.cbegin(); it != kills.cend(); ++it) {
        if (it.value() >= 2)
            ++lines[it.key()].multi[std::min(it.value(), 5) - 2];
    }
    for (const qint64 player : round.present) {
        if (kills.contains(player) || round.assisted.contains(player) || !died.contains(player) ||
            traded.contains(player))
            ++lines[player].kast;
    }
}
