#include "MatchRounds.h"

namespace {

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

} // namespace

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

void dropRestoredRounds(QList<MatchEvent> &events, QList<MatchRound> &rounds)
{
    const auto played = [&](qsizetype round) {
        const auto score = parsedScore(rounds.at(round).score);
        return score ? score->first + score->second : -1;
    };
    for (qsizetype reload = 0; reload < events.size(); ++reload) {
        const MatchEvent &event = events.at(reload);
        if (!isTrigger(event) || event.type != QLatin1String("Match_Reloaded"))
            continue;
        qsizetype next = 0;
        while (next < rounds.size() && rounds.at(next).offset <= event.offset)
            ++next;
        if (next == rounds.size() || played(next) < 0)
            continue;
        qsizetype kept = next;
        while (kept > 0 && played(kept - 1) >= played(next))
            --kept;
        if (kept == next)
            continue;
        // The backup was made as the first round taken back began.
        qsizetype from = 0;
        while (from < reload && kept > 0 && events.at(from).offset <= rounds.at(kept - 1).offset)
            ++from;
        for (qsizetype i = from; i < reload; ++i) {
            if (isTrigger(events.at(i)) && events.at(i).type == QLatin1String("Round_Start")) {
                from = i;
                break;
            }
        }
        QList<MatchEvent> left = events.mid(0, from);
        for (qsizetype i = from; i < events.size(); ++i) {
            if (i > reload || !joinedTeam(events.at(i).type).isEmpty())
                left << events.at(i);
        }
        events = left;
        rounds.remove(kept, next - kept);
        reload = from - 1;
    }
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

RoundEvidence roundEvidence(const RoundLog &round)
{
    RoundEvidence evidence{{}, round.bomb, round.joins};
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
