#include "MatchFigures.h"

#include "RoundSides.h"

#include <QHash>
#include <QJsonArray>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

const QLatin1String SpawnedAs("spawned as ");

struct Line
{
    qint64 kills = 0, deaths = 0, assists = 0, flashAssists = 0, headshots = 0, damage = 0;
    qint64 teamkills = 0, suicides = 0, firstKills = 0, firstDeaths = 0, kast = 0;
    qint64 heals = 0, ubers = 0, medicDeaths = 0;
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
};

double rounded(double value)
{
    return std::round(value * 10.0) / 10.0;
}

bool isTrigger(const MatchEvent &event)
{
    return event.killer == 0 && event.victim == 0;
}

// Where the match proper starts: after warm-up and restarts, at the last "Match_Start"
// before its last round ended (servers start another after "Game Over").
qsizetype matchStart(const QList<MatchEvent> &events, const QList<MatchRound> &rounds)
{
    qsizetype end = events.size();
    for (qsizetype i = events.size() - 1; i >= 0 && !rounds.isEmpty(); --i) {
        const MatchEvent &event = events.at(i);
        if (isTrigger(event) && event.type == rounds.last().result &&
            event.offset == rounds.last().offset) {
            end = i;
            break;
        }
    }
    for (qsizetype i = end - 1; i >= 0; --i) {
        if (isTrigger(events.at(i)) && events.at(i).type == QLatin1String("Match_Start"))
            return i;
    }
    for (qsizetype i = 0; i < events.size(); ++i) {
        if (isTrigger(events.at(i)) && events.at(i).type == QLatin1String("Round_Start"))
            return i;
    }
    return 0;
}

std::optional<std::pair<int, int>> parsedScore(const QString &score)
{
    const QStringList parts = score.split(QLatin1Char(':'));
    bool a = false, b = false;
    if (parts.size() != 2)
        return std::nullopt;
    const int ct = parts.at(0).toInt(&a), t = parts.at(1).toInt(&b);
    if (!a || !b)
        return std::nullopt;
    return std::pair{ct, t};
}

bool isCt(const QString &team)
{
    return team.compare(QLatin1String("CT"), Qt::CaseInsensitive) == 0;
}

// The score trades places when the teams change sides: 11:4 then 5:11.
bool swapped(const QString &before, const QString &after, const QString &winner)
{
    const auto from = parsedScore(before), to = parsedScore(after);
    if (!from || !to)
        return false;
    const int ct = isCt(winner) ? 1 : 0;
    if (*to == std::pair{from->first + ct, from->second + 1 - ct})
        return false;
    return *to == std::pair{from->second + ct, from->first + 1 - ct};
}

void countKill(QHash<qint64, Line> &lines, const MatchEvent &event, RoundLog *round)
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

// The figures of one event of the match proper.
void count(QHash<qint64, Line> &lines, const MatchEvent &event, RoundLog *round)
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
    } else if (const int bomb = bombSide(type); round && bomb != 0) {
        round->bomb[event.killer] += bomb;
    } else if (type.startsWith(SpawnedAs)) {
        const QString role = type.mid(SpawnedAs.size());
        QStringList &classes = lines[event.killer].classes;
        if (!classes.contains(role, Qt::CaseInsensitive))
            classes << role;
    }
}

void scoreRound(QHash<qint64, Line> &lines, const RoundLog &round, int number)
{
    for (const qint64 player : round.present) {
        Line &line = lines[player];
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
        if (first) {
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

RoundEvidence roundEvidence(const RoundLog &round)
{
    RoundEvidence evidence{{}, round.bomb};
    for (const MatchEvent &kill : round.kills) {
        if (kill.killer > 0)
            evidence.kills << RoundKill{kill.killer, kill.victim > 0 ? kill.victim : kill.killer,
                                        kill.type == QLatin1String("kill")};
    }
    return evidence;
}

QJsonArray roundList(const QList<MatchRound> &rounds, int from)
{
    QJsonArray list;
    for (int i = from; i < rounds.size(); ++i) {
        const MatchRound &round = rounds.at(i);
        list.append(QJsonObject{
            {"number", i - from + 1},
            {"winner", round.winner},
            {"result", round.result},
            {"how", roundEnding(round.result)},
            {"score", round.score.isEmpty() ? QJsonValue(QJsonValue::Null) : round.score},
            {"swap", i > from && swapped(rounds.at(i - 1).score, round.score, round.winner)}});
    }
    return list;
}

} // namespace

QString roundEnding(const QString &trigger)
{
    static const QList<std::pair<const char *, const char *>> endings = {
        {"Target_Bombed", "bomb"},
        {"Bomb_Defused", "defuse"},
        {"Target_Saved", "time"},
        {"Hostages_Not_Rescued", "time"},
        {"Hostages_Rescued", "hostages"},
        {"VIP_Escaped", "escape"},
        {"VIP_Not_Escaped", "time"},
        {"VIP_Assassinated", "elimination"},
        {"Terrorists_Escaped", "escape"},
        {"CTs_PreventEscape", "elimination"},
        {"Escaping_Terrorists_Neutralized", "elimination"},
        {"Terrorists_Win", "elimination"},
        {"CTs_Win", "elimination"},
        {"Round_Draw", "draw"},
        {"Round_Win", "objective"}};
    for (const auto &[suffix, how] : endings) {
        if (trigger.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return QLatin1String(how);
    }
    return QStringLiteral("other");
}

QJsonObject matchFigures(const MatchInput &input)
{
    const QList<MatchEvent> &events = input.events;
    const QList<MatchRound> &rounds = input.rounds;
    const qsizetype start = matchStart(events, rounds);
    QHash<qint64, Line> lines;
    QList<RoundLog> played(rounds.size() + 1);
    int round = 0, firstMatchRound = -1;
    qint64 startOffset = events.isEmpty() ? 0 : events.at(start).offset;
    qint64 endOffset = startOffset;
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
            count(lines, event, log);
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
        const Line line = lines.value(player.id);
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
        if (tf2) {
            row.insert(QStringLiteral("classes"), QJsonArray::fromStringList(line.classes));
            row.insert(QStringLiteral("dpm"),
                       damageKnown && seconds > 0
                           ? QJsonValue(rounded(double(line.damage) * 60.0 / double(seconds)))
                           : QJsonValue(QJsonValue::Null));
            row.insert(QStringLiteral("heals"), line.heals);
            row.insert(QStringLiteral("ubers"), line.ubers);
            row.insert(QStringLiteral("medic_deaths"), line.medicDeaths);
        }
        teams[player.team].append(row);
        QJsonObject &sum = totals[player.team];
        for (const char *key : {"kills", "deaths", "assists", "damage", "heals", "ubers"})
            sum.insert(QLatin1String(key), sum.value(QLatin1String(key)).toInteger() +
                                               row.value(QLatin1String(key)).toInteger());
        if (!damageKnown)
            sum.insert(QStringLiteral("damage"), QJsonValue::Null);
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
