#pragma once

// What the match page counts as it walks a game's rows: each player's figures, and what
// happened in each round.

#include "MatchFigures.h"
#include "RoundSides.h"

#include <QHash>
#include <QSet>
#include <QStringList>

inline const QLatin1String SpawnedAs("spawned as ");

// A player's figures over the match proper, and over warm-up.
struct PlayerTally
{
    qint64 kills = 0, deaths = 0, assists = 0, flashAssists = 0, headshots = 0, damage = 0;
    qint64 teamkills = 0, suicides = 0, firstKills = 0, firstDeaths = 0, kast = 0;
    qint64 heals = 0, ubers = 0, medicDeaths = 0, drops = 0, captures = 0;
    qint64 multi[4] = {}; // rounds with 2, 3, 4 and 5 or more kills
    int firstRound = -1, lastRound = -1;
    QStringList classes;
    qint64 warmupKills = 0, warmupDeaths = 0;
    bool warmup = false;
};

// What happened in one round of the match.
struct RoundLog
{
    QList<MatchEvent> kills; // enemy kills and deaths of every kind, in order
    QSet<qint64> present, assisted;
    QHash<qint64, int> bomb; // > 0: he carried or planted it; < 0: he defused it
    QList<RoundJoin> joins;  // teams joined, after how many of its kills by a player
    // The rows after the previous round's end, before this one started: no kill among them is
    // a first kill, as the server counts none of them so.
    QSet<qint64> beforeStart;
};

// A team's or the world's trigger, which names nobody.
bool isTrigger(const MatchEvent &event);

// The figures of one event of the match proper; `round` is null for a game without rounds.
void count(QHash<qint64, PlayerTally> &lines, const MatchEvent &event, RoundLog *round,
           const MatchInput &input);

// The figures a round gives once it is over: first kills, multi-kill rounds, KAST.
void scoreRound(QHash<qint64, PlayerTally> &lines, const RoundLog &round, int number);
