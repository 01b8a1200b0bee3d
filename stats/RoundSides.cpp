#include "RoundSides.h"

#include "Standings.h"

#include <QStringList>

#include <utility>

namespace {

// Whether `score` is the previous one with the sides traded, and not one round more.
bool tradedPlaces(const SideState &state, int ct, int t)
{
    if (state.ct < 0)
        return false;
    const bool plain = (ct == state.ct + 1 && t == state.t) || (ct == state.ct && t == state.t + 1);
    const bool traded =
        (ct == state.t + 1 && t == state.ct) || (ct == state.t && t == state.ct + 1);
    return traded && !plain;
}

// True when the teams swapped sides before this round.
bool readScore(SideState &state, const QString &score)
{
    const QStringList parts = score.split(QLatin1Char(':'));
    bool ctOk = false, tOk = false;
    const int ct = parts.value(0).toInt(&ctOk);
    const int t = parts.value(1).toInt(&tOk);
    if (parts.size() != 2 || !ctOk || !tOk)
        return false;
    const bool swapped = tradedPlaces(state, ct, t);
    state.swaps += swapped ? 1 : 0;
    state.ct = ct;
    state.t = t;
    return swapped;
}

} // namespace

namespace {

// A player's side as his joins alone say, and how sure that is: one team is certain, the
// team of his swap count a guess his round's kills may overrule.
struct Guess
{
    QString team;
    int weight = 0;
};

constexpr int Certain = 1000;
constexpr int Remembered = 10;
constexpr int Joined = 1;

// Gives every player of one component of the round's kill graph a colour, 0 or 1: the two
// ends of an enemy kill differ, of a team kill agree. False when the kills contradict.
bool colour(qint64 root, const QHash<qint64, QList<std::pair<qint64, bool>>> &edges,
            QHash<qint64, int> &colours, QList<qint64> &component)
{
    QList<qint64> queue{root};
    colours.insert(root, 0);
    bool consistent = true;
    while (!queue.isEmpty()) {
        const qint64 player = queue.takeFirst();
        component << player;
        for (const auto &[other, enemy] : edges.value(player)) {
            const int wanted = colours.value(player) ^ (enemy ? 1 : 0);
            if (!colours.contains(other)) {
                colours.insert(other, wanted);
                queue << other;
            } else if (colours.value(other) != wanted) {
                consistent = false;
            }
        }
    }
    return consistent;
}

// Turns every side when the bomb's carriers and defusers say they are the wrong way round;
// a player who never joined the other side is left out.
void orientByBomb(SideState &state, QHash<qint64, QString> &sides, const QHash<qint64, int> &bomb,
                  const QHash<qint64, QStringList> &teams)
{
    const QString ct = QStringLiteral("CT"), t = QStringLiteral("TERRORIST");
    int agree = 0, disagree = 0;
    for (auto it = bomb.cbegin(); it != bomb.cend(); ++it) {
        const QString side = sides.value(it.key());
        if (it.value() != 0 && (side == ct || side == t))
            ++((it.value() > 0) == (side == t) ? agree : disagree);
    }
    if (disagree <= agree)
        return;
    for (auto it = sides.begin(); it != sides.end();) {
        const QString other = *it == ct ? t : *it == t ? ct : QString();
        if (other.isEmpty() || !teams.value(it.key()).contains(other)) {
            state.last.remove(it.key());
            it = sides.erase(it);
            continue;
        }
        *it = other;
        ++it;
    }
}

// The team each player joined since he last fought, if he did: before the round, or in it
// before his first fight. One joined after he fought in the round is kept for the next.
QHash<qint64, QString> freshJoins(SideState &state, const RoundEvidence &round,
                                  QHash<qint64, QStringList> &teams)
{
    QHash<qint64, QString> fresh = std::exchange(state.moved, {});
    QHash<qint64, qsizetype> firstFight;
    for (qsizetype i = round.kills.size() - 1; i >= 0; --i) {
        for (const qint64 player : {round.kills.at(i).killer, round.kills.at(i).victim})
            firstFight.insert(player, i);
    }
    for (const RoundJoin &join : round.joins) {
        if (!isPlayingTeam(join.team))
            continue;
        if (!teams[join.player].contains(join.team))
            teams[join.player] << join.team;
        if (join.kills <= firstFight.value(join.player, round.kills.size()))
            fresh.insert(join.player, join.team);
        else
            state.moved.insert(join.player, join.team);
    }
    return fresh;
}

} // namespace

QString joinedTeam(const QString &type)
{
    static const QLatin1String prefix("joined team ");
    return type.startsWith(prefix) ? type.mid(prefix.size()) : QString();
}

int bombSide(const QString &trigger)
{
    static const QHash<QString, int> triggers = {
        {QStringLiteral("Got_The_Bomb"), 1},
        {QStringLiteral("Dropped_The_Bomb"), 1},
        {QStringLiteral("Bomb_Begin_Plant"), 1},
        {QStringLiteral("Planted_The_Bomb"), 1},
        {QStringLiteral("Begin_Bomb_Defuse_With_Kit"), -1},
        {QStringLiteral("Begin_Bomb_Defuse_Without_Kit"), -1},
        {QStringLiteral("Defused_The_Bomb"), -1}};
    return triggers.value(trigger);
}

QHash<qint64, QString> roundSides(SideState &state, const QList<std::pair<qint64, QString>> &joins,
                                  const RoundEvidence &round, const QString &score)
{
    const bool swapped = readScore(state, score);
    QHash<qint64, QStringList> teams;
    QStringList playingTeams;
    for (const auto &[player, team] : joins) {
        if (!isPlayingTeam(team))
            continue;
        if (!teams[player].contains(team))
            teams[player] << team;
        if (!playingTeams.contains(team))
            playingTeams << team;
    }
    if (swapped && playingTeams.size() == 2) {
        for (QString &side : state.last)
            side = playingTeams.at(side == playingTeams.at(0) ? 1 : 0);
    }
    const QHash<qint64, QString> fresh = freshJoins(state, round, teams);
    QHash<qint64, Guess> guesses;
    QHash<qint64, QList<std::pair<qint64, bool>>> edges;
    QList<qint64> players; // in the order they appear, so the result does not depend on hashing
    for (const RoundKill &kill : round.kills) {
        for (const qint64 player : {kill.killer, kill.victim}) {
            const QStringList joined = teams.value(player);
            if (player <= 0 || joined.isEmpty() || guesses.contains(player))
                continue;
            if (joined.size() == 1)
                guesses.insert(player, {joined.first(), Certain});
            else if (fresh.contains(player))
                guesses.insert(player, {fresh.value(player), Certain});
            else if (state.last.contains(player))
                guesses.insert(player, {state.last.value(player), Remembered});
            else
                guesses.insert(player, {joined.at(state.swaps % 2), Joined});
            players << player;
        }
        if (kill.killer != kill.victim && guesses.contains(kill.killer) &&
            guesses.contains(kill.victim)) {
            edges[kill.killer].append({kill.victim, kill.enemy});
            edges[kill.victim].append({kill.killer, kill.enemy});
        }
    }
    QHash<qint64, QString> sides;
    QHash<qint64, int> colours;
    for (const qint64 root : std::as_const(players)) {
        if (colours.contains(root))
            continue;
        QList<qint64> component;
        if (!colour(root, edges, colours, component))
            continue; // the kills contradict each other: nobody of it can be placed
        if (playingTeams.size() != 2) {
            for (const qint64 player : std::as_const(component))
                sides.insert(player, guesses.value(player).team);
            continue;
        }
        // Colour 0 is one team or the other, whichever more of the players' joins agree with.
        int agree = 0, disagree = 0;
        for (const qint64 player : std::as_const(component)) {
            const Guess guess = guesses.value(player);
            const bool first = guess.team == playingTeams.at(0);
            ((colours.value(player) == 0) == first ? agree : disagree) += guess.weight;
        }
        const int flip = agree >= disagree ? 0 : 1;
        for (const qint64 player : std::as_const(component)) {
            const QString side = playingTeams.at(colours.value(player) ^ flip);
            if (teams.value(player).contains(side))
                sides.insert(player, side);
        }
    }
    orientByBomb(state, sides, round.bomb, teams);
    for (auto it = sides.cbegin(); it != sides.cend(); ++it)
        state.last.insert(it.key(), it.value());
    for (auto it = fresh.cbegin(); it != fresh.cend(); ++it) {
        if (!sides.contains(it.key()) && !state.moved.contains(it.key()))
            state.moved.insert(it.key(), it.value()); // he has not fought since
    }
    return sides;
}
