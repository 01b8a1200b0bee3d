#include "RoundSides.h"

#include "Standings.h"

#include <QSet>
#include <QStringList>

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

void readScore(SideState &state, const QString &score)
{
    const QStringList parts = score.split(QLatin1Char(':'));
    bool ctOk = false, tOk = false;
    const int ct = parts.value(0).toInt(&ctOk);
    const int t = parts.value(1).toInt(&tOk);
    if (parts.size() != 2 || !ctOk || !tOk)
        return;
    if (tradedPlaces(state, ct, t))
        ++state.swaps;
    state.ct = ct;
    state.t = t;
}

} // namespace

QHash<qint64, QString> roundSides(SideState &state, const QList<std::pair<qint64, QString>> &joins,
                                  const QList<RoundKill> &kills, const QString &score)
{
    readScore(state, score);
    QHash<qint64, QStringList> teams;
    for (const auto &[player, team] : joins) {
        if (isPlayingTeam(team) && !teams[player].contains(team))
            teams[player] << team;
    }
    QHash<qint64, QString> sides;
    for (const RoundKill &kill : kills) {
        for (const qint64 player : {kill.killer, kill.victim}) {
            const QStringList joined = teams.value(player);
            if (player > 0 && !joined.isEmpty())
                sides.insert(player, joined.at(joined.size() == 1 ? 0 : state.swaps % 2));
        }
    }
    QSet<qint64> wrong;
    for (const RoundKill &kill : kills) {
        if (kill.killer == kill.victim || !sides.contains(kill.killer) ||
            !sides.contains(kill.victim))
            continue;
        if ((sides.value(kill.killer) == sides.value(kill.victim)) == kill.enemy)
            wrong << kill.killer << kill.victim;
    }
    for (const qint64 player : std::as_const(wrong))
        sides.remove(player);
    return sides;
}
