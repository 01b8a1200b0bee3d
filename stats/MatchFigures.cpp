#include "MatchFigures.h"

#include "MatchRounds.h"
#include "MatchTally.h"

#include <QHash>
#include <QJsonArray>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

double rounded(double value)
{
    return std::round(value * 10.0) / 10.0;
}

} // namespace

QJsonObject matchFigures(const MatchInput &input)
{
    QList<MatchEvent> events = input.events;
    QList<MatchRound> rounds = input.rounds;
    dropRestoredRounds(events, rounds);
    const qsizetype start = matchStart(events, rounds);
    QHash<qint64, PlayerTally> lines;
    QList<RoundLog> played(rounds.size() + 1);
    int round = 0, firstMatchRound = -1;
    qint64 startOffset = events.isEmpty() ? 0 : events.at(start).offset;
    qint64 endOffset = startOffset;
    // Between a round's end and the next "Round_Start", where the server writes one.
    bool between = false;
    const bool roundStarts = std::any_of(events.cbegin(), events.cend(), [](const MatchEvent &e) {
        return isTrigger(e) && e.type == QLatin1String("Round_Start");
    });
    for (qsizetype i = 0; i < events.size(); ++i) {
        const MatchEvent &event = events.at(i);
        // A round ends at its own trigger row, or at the first row after its end.
        while (round < rounds.size() && event.offset > rounds.at(round).offset)
            ++round;
        const bool ends = round < rounds.size() && isTrigger(event) &&
                          event.type == rounds.at(round).result &&
                          event.offset == rounds.at(round).offset;
        if (i == start)
            firstMatchRound = round;
        if (const QString team = joinedTeam(event.type); !team.isEmpty()) {
            // Which side he plays for from here on; no figure of his.
            if (i > start) {
                const QList<MatchEvent> &kills = played.at(round).kills;
                played[round].joins << RoundJoin{
                    event.killer, team,
                    std::count_if(kills.cbegin(), kills.cend(),
                                  [](const MatchEvent &kill) { return kill.killer > 0; })};
            }
            continue;
        }
        if (i < start) {
            if (event.type == QLatin1String("kill") && event.killer != 0)
                ++lines[event.killer].warmupKills;
            if (event.type == QLatin1String("kill") || event.type == QLatin1String("teamkill"))
                ++lines[event.victim].warmupDeaths;
            for (const qint64 player : {event.killer, event.victim}) {
                if (player != 0)
                    lines[player].warmup = true;
            }
        } else if (round < rounds.size() || input.open || rounds.isEmpty()) {
            RoundLog *log = rounds.isEmpty() ? nullptr : &played[round];
            if (between && log)
                log->beforeStart << event.record;
            count(lines, event, log, input);
            for (const qint64 player : {event.killer, event.victim}) {
                if (player != 0 && log)
                    log->present << player;
                else if (player != 0 && lines[player].firstRound < 0)
                    lines[player].firstRound = lines[player].lastRound = 0;
            }
            endOffset = event.offset;
        }
        if (ends)
            ++round;
        if (isTrigger(event) && event.type == QLatin1String("Round_Start"))
            between = false;
        between = between || (ends && roundStarts);
    }
    if (firstMatchRound < 0) // no rows: every round is the match's, as far as anyone knows
        firstMatchRound = events.isEmpty() ? 0 : int(rounds.size());
    if (firstMatchRound < rounds.size())
        endOffset = std::max(endOffset, rounds.last().offset);
    SideState sides;
    for (int r = firstMatchRound; r < played.size(); ++r) {
        if (r < rounds.size() || !played.at(r).present.isEmpty())
            scoreRound(lines, played.at(r), r);
        if (r < rounds.size())
            roundSides(sides, input.joins, roundEvidence(played.at(r)), rounds.at(r).score);
    }

    bool damageKnown = false, tf2 = false;
    for (const MatchEvent &event : events) {
        damageKnown = damageKnown || event.type == QLatin1String("attack");
        tf2 = tf2 || event.type.startsWith(SpawnedAs);
    }
    for (const MatchRound &r : rounds)
        tf2 = tf2 || r.result == QLatin1String("Round_Win");

    // The score as the teams ended: Counter-Strike writes it after every round; else the
    // rounds each team won.
    QHash<QString, qint64> score;
    const QString lastScore = rounds.isEmpty() ? QString() : rounds.last().score;
    if (const auto written = parsedScore(lastScore); written && firstMatchRound < rounds.size()) {
        score.insert(QStringLiteral("CT"), written->first);
        score.insert(QStringLiteral("TERRORIST"), written->second);
    } else {
        for (int r = firstMatchRound; r < rounds.size(); ++r)
            ++score[rounds.at(r).winner];
    }

    const qint64 seconds = std::max<qint64>(0, endOffset - startOffset);
    QHash<QString, QList<QJsonObject>> teams;
    QHash<QString, QJsonObject> totals;
    QJsonArray warmup;
    for (MatchPlayer player : input.players) {
        player.team = sides.last.value(player.id, player.team);
        const PlayerTally line = lines.value(player.id);
        const QJsonObject who{{"id", player.id}, {"player", player.player}, {"name", player.name}};
        if (line.firstRound < 0) {
            if (line.warmup) {
                QJsonObject entry = who;
                entry.insert(QStringLiteral("kills"), line.warmupKills);
                entry.insert(QStringLiteral("deaths"), line.warmupDeaths);
                warmup.append(entry);
            }
            continue;
        }
        const qint64 played = rounds.isEmpty() ? 0 : line.lastRound - line.firstRound + 1;
        const auto perRound = [&](qint64 value) -> QJsonValue {
            return played > 0 ? QJsonValue(rounded(double(value) / double(played)))
                              : QJsonValue(QJsonValue::Null);
        };
        QJsonObject row = who;
        row.insert(QStringLiteral("team"), player.team);
        const QList<std::pair<const char *, qint64>> counts = {
            {"rounds", played},
            {"kills", line.kills},
            {"deaths", line.deaths},
            {"assists", line.assists},
            {"flash_assists", line.flashAssists},
            {"plus_minus", line.kills - line.deaths},
            {"teamkills", line.teamkills},
            {"suicides", line.suicides},
            {"first_kills", line.firstKills},
            {"first_deaths", line.firstDeaths},
            {"k2", line.multi[0]},
            {"k3", line.multi[1]},
            {"k4", line.multi[2]},
            {"k5", line.multi[3]},
            {"headshots", line.headshots},
        };
        for (const auto &[key, value] : counts)
            row.insert(QLatin1String(key), value);
        row.insert(QStringLiteral("headshot_pct"),
                   line.kills > 0
                       ? QJsonValue(rounded(100.0 * double(line.headshots) / double(line.kills)))
                       : QJsonValue(QJsonValue::Null));
        row.insert(QStringLiteral("kast"),
                   played > 0 ? QJsonValue(rounded(100.0 * double(line.kast) / double(played)))
                              : QJsonValue(QJsonValue::Null));
        row.insert(QStringLiteral("damage"),
                   damageKnown ? QJsonValue(line.damage) : QJsonValue(QJsonValue::Null));
        row.insert(QStringLiteral("adr"),
                   damageKnown ? perRound(line.damage) : QJsonValue(QJsonValue::Null));
        if (!tf2)
            row.insert(QStringLiteral("mvps"), input.mvps.contains(player.id)
                                                   ? QJsonValue(input.mvps.value(player.id))
                                                   : QJsonValue(QJsonValue::Null));
        if (tf2) {
            row.insert(QStringLiteral("classes"), QJsonArray::fromStringList(line.classes));
            row.insert(QStringLiteral("dpm"),
                       damageKnown && seconds > 0
                           ? QJsonValue(rounded(double(line.damage) * 60.0 / double(seconds)))
                           : QJsonValue(QJsonValue::Null));
            row.insert(QStringLiteral("heals"), line.heals);
            row.insert(QStringLiteral("ubers"), line.ubers);
            row.insert(QStringLiteral("medic_deaths"), line.medicDeaths);
            const auto detail = [&](qint64 value) {
                return input.detailsKnown ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
            };
            row.insert(QStringLiteral("drops"), detail(line.drops));
            row.insert(QStringLiteral("captures"), detail(line.captures));
        }
        teams[player.team].append(row);
        QJsonObject &sum = totals[player.team];
        for (const char *key :
             {"kills", "deaths", "assists", "damage", "heals", "ubers", "drops", "captures"})
            sum.insert(QLatin1String(key), sum.value(QLatin1String(key)).toInteger() +
                                               row.value(QLatin1String(key)).toInteger());
        if (!damageKnown)
            sum.insert(QStringLiteral("damage"), QJsonValue::Null);
        if (!tf2 || !input.detailsKnown) {
            sum.insert(QStringLiteral("drops"), QJsonValue::Null);
            sum.insert(QStringLiteral("captures"), QJsonValue::Null);
        }
    }

    QStringList order = teams.keys();
    std::sort(order.begin(), order.end(), [&](const QString &a, const QString &b) {
        if (a.isEmpty() != b.isEmpty())
            return b.isEmpty(); // players of no playing team last
        if (score.value(a) != score.value(b))
            return score.value(a) > score.value(b);
        return a < b;
    });
    QJsonArray teamList, scoreList;
    for (const QString &team : std::as_const(order)) {
        QList<QJsonObject> rows = teams.value(team);
        std::stable_sort(rows.begin(), rows.end(), [](const QJsonObject &a, const QJsonObject &b) {
            return a[QLatin1String("kills")].toInteger() > b[QLatin1String("kills")].toInteger();
        });
        QJsonArray players;
        for (const QJsonObject &row : std::as_const(rows))
            players.append(row);
        teamList.append(QJsonObject{{"team", team},
                                    {"score", team.isEmpty() || !score.contains(team)
                                                  ? QJsonValue(QJsonValue::Null)
                                                  : QJsonValue(score.value(team))},
                                    {"players", players},
                                    {"totals", totals.value(team)}});
        if (!team.isEmpty() && score.contains(team))
            scoreList.append(QJsonObject{{"team", team}, {"rounds", score.value(team)}});
    }
    return {{"kind", tf2                      ? "tf2"
                     : parsedScore(lastScore) ? "cs"
                                              : "other"},
            {"events_known", input.eventsKnown},
            {"damage_known", damageKnown},
            {"seconds", seconds},
            {"score", scoreList},
            {"warmup_rounds", std::min<int>(firstMatchRound, int(rounds.size()))},
            {"rounds", roundList(rounds, std::min<int>(firstMatchRound, int(rounds.size())))},
            {"teams", teamList},
            {"warmup", warmup}};
}
