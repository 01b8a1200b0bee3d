#pragma once

#include <QHash>
#include <QList>
#include <QString>

// A kill of a round, as the sides of its two players tell: an enemy kill is between sides,
// a team kill within one.
struct RoundKill
{
    qint64 killer = 0;
    qint64 victim = 0;
    bool enemy = true;
};

// What a game's rounds so far say about its sides.
struct SideState
{
    int swaps = 0; // the teams changed sides this often (half time, overtime)
    int ct = -1, t = -1;
};

// Who played for which side in a round, from what the tables say: the teams each player
// joined in the game, in the order he joined them (`joins`: player, team), the round's
// score, and the round's kills.
//
// A player who joined one playing team played for it. One who joined two started on the
// first and moved with his team at every swap; a swap shows in the score Counter-Strike
// writes after each round, "CT:T", when the two numbers trade places (11:4 then 5:11). Only
// players who killed or died in the round were in it, and an enemy kill within one side
// or a team kill across sides proves the guess wrong for both players: they are left out.
QHash<qint64, QString> roundSides(SideState &state, const QList<std::pair<qint64, QString>> &joins,
                                  const QList<RoundKill> &kills, const QString &score);
