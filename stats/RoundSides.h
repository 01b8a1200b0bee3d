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

// A team a player joined during the round, after `kills` of its kills.
struct RoundJoin
{
    qint64 player = 0;
    QString team;
    qsizetype kills = 0;
};

// What one round's rows say about its sides: its kills, who carried, planted or defused
// the bomb (> 0: things only a terrorist does, < 0: only a counter-terrorist), and the teams
// players joined while it went on.
struct RoundEvidence
{
    QList<RoundKill> kills;
    QHash<qint64, int> bomb;
    QList<RoundJoin> joins;
};

// 1 for a trigger only a terrorist has, -1 for one only a counter-terrorist has, else 0.
int bombSide(const QString &trigger);

// The team a Scores row of type "joined team X" names, else an empty string.
QString joinedTeam(const QString &type);

// What a game's rounds so far say about its sides.
struct SideState
{
    int swaps = 0; // the teams changed sides this often (half time, overtime)
    int ct = -1, t = -1;
    QHash<qint64, QString> last;  // each player's side in the last round he was placed in
    QHash<qint64, QString> moved; // a team joined after he last fought: his next round's side
};

// Who played for which side in a round, from what the tables say: the teams each player
// joined in the game, in the order he joined them (`joins`: player, team), the round's
// score, and the round's kills.
//
// Only players who killed or died in the round were in it. Its kills split them in two
// sides (an enemy kill between them, a team kill within one). Which side is which team
// the joins say: a player who joined one playing team played for it; one who joined two
// started on the first and moved with his team at every swap, which shows in the score
// Counter-Strike writes after each round, "CT:T", when the two numbers trade places (11:4
// then 5:11). A player's side in his last round (moved along at a swap) says more than
// his joins. Where the players disagree, most of them (and those sure of their team above
// all) decide, so one who changed sides on his own is put right by the kills. Warm-up
// teams and switches can still turn every side round; the bomb cannot, so when its
// carriers and defusers say the sides are the wrong way round, they are turned. A
// team a player joined in the round before he fought in it (TF2's stopwatch moves everyone
// at half time, which only these joins date) is as sure as one team joined; joined after
// he fought, it is his side from the next round on. A player is left out when
// he would be on a team he never joined, or the kills contradict each other.
QHash<qint64, QString> roundSides(SideState &state, const QList<std::pair<qint64, QString>> &joins,
                                  const RoundEvidence &round, const QString &score);
