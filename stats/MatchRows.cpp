#include "MatchRows.h"

#include "Standings.h"
#include "StatsConnection.h"
#include "StatsTables.h"

#include <QDateTime>
#include <QJsonArray>
#include <QSet>

namespace {

// At most this many rows are read on either side of a game's kills: a busy database's
// neighbouring servers cannot make a page slow.
constexpr qint64 Reach = 5000;
// Offsets that go back by more than this start another game (a server's clock may step).
constexpr qint64 Stepback = 2;

const QString DateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

Result<qint64> number(const QSqlDatabase &db, const QString &sql, const QVariantList &values,
                      qint64 fallback)
{
    const Result<QList<Row>> rows = selectRows(db, sql, values);
    if (!rows)
        return rows.error();
    if (rows->isEmpty() || rows->first().first().isNull())
        return fallback;
    return rows->first().first().toLongLong();
}

// The range of Scores records the game's rows can lie in, or nothing.
Result<std::optional<std::pair<qint64, qint64>>> rowRange(const QSqlDatabase &db, qint64 game,
                                                          qint64 server)
{
    const Result<QList<Row>> kills = selectRows(
        db, QStringLiteral("SELECT MIN(Score), MAX(Score) FROM Ledgerwell_Kills WHERE Game = ?"),
        {game});
    if (!kills)
        return kills.error();
    if (kills->isEmpty() || kills->first().first().isNull())
        return std::optional<std::pair<qint64, qint64>>();
    const qint64 first = kills->first().at(0).toLongLong(),
                 last = kills->first().at(1).toLongLong();
    const Result<qint64> before = number(
        db,
        QStringLiteral("SELECT MAX(Score) FROM Ledgerwell_Kills WHERE Game = (SELECT MAX(Game) "
                       "FROM Servers_Games WHERE Server = ? AND Game < ?)"),
        {server, game}, 0);
    if (!before)
        return before.error();
    const Result<qint64> after = number(
        db,
        QStringLiteral("SELECT MIN(Score) FROM Ledgerwell_Kills WHERE Game = (SELECT MIN(Game) "
                       "FROM Servers_Games WHERE Server = ? AND Game > ?)"),
        {server, game}, std::numeric_limits<qint64>::max());
    if (!after)
        return after.error();
    return std::optional(
        std::pair{std::max(*before + 1, first - Reach), std::min(*after - 1, last + Reach)});
}

Result<QList<MatchEvent>> gameRows(const QSqlDatabase &db, qint64 game, qint64 from, qint64 to,
                                   const QSet<qint64> &players, qint64 length)
{
    const QString offset = dialectOf(db) == Dialect::Postgres ? QStringLiteral("s.\"offset\"")
                                                              : QStringLiteral("s.\"Offset\"");
    const Result<QList<Row>> rows = selectRows(
        db,
        QStringLiteral("SELECT s.Killer, s.Victim, t.Type, s.Score, %1, k.Game, "
                       "k.Headshot, s.Record FROM Scores s LEFT JOIN Types t ON t.Record = "
                       "s.Type LEFT JOIN Ledgerwell_Kills k ON k.Score = s.Record "
                       "WHERE s.Record BETWEEN ? AND ? ORDER BY s.Record")
            .arg(offset),
        {from, to});
    if (!rows)
        return rows.error();
    QList<MatchEvent> events;
    qsizetype firstKill = -1;
    for (const Row &row : *rows) {
        MatchEvent event{row.at(7).toLongLong(),     row.at(0).toLongLong(),
                         row.at(1).toLongLong(),     row.at(2).toString(),
                         row.at(3).toLongLong(),     qint64(row.at(4).toDouble()),
                         row.at(6).toLongLong() == 1};
        const bool ours = !row.at(5).isNull() && row.at(5).toLongLong() == game;
        if (!row.at(5).isNull() && !ours)
            continue; // another game's kill
        if (!ours && !(players.contains(event.killer) || players.contains(event.victim) ||
                       (event.killer == 0 && event.victim == 0)))
            continue;
        if (event.offset < 0 || (length >= 0 && event.offset > length))
            continue;
        const bool wentBack = !events.isEmpty() && event.offset < events.last().offset - Stepback;
        if (wentBack && event.killer == 0 && event.victim == 0)
            continue; // a trigger of another server's game
        if (wentBack) {
            if (firstKill >= 0)
                break;      // the next game started
            events.clear(); // what came before was the previous game's
        }
        if (ours && firstKill < 0)
            firstKill = events.size();
        events << event;
    }
    return events;
}

// The game's cappers, dropped charges and its `match`-th match's MVPs; whether they are kept
// for it at all.
Status readDetails(const QSqlDatabase &db, qint64 game, qsizetype match, MatchInput &input)
{
    if (!hasTable(db, QStringLiteral("Ledgerwell_Details")))
        return {};
    const Result<QList<Row>> rows = selectRows(
        db,
        QStringLiteral("SELECT Score, Player, Kind, Detail FROM Ledgerwell_Details WHERE Game = ? "
                       "AND Kind IN ('game', 'capper', 'drop', 'mvp') ORDER BY Record LIMIT 20000"),
        {game});
    if (!rows)
        return rows.error();
    for (const Row &row : *rows) {
        const QString kind = row.at(2).toString();
        if (kind == QLatin1String("game"))
            input.detailsKnown = true;
        else if (kind == QLatin1String("capper"))
            input.cappers[row.at(0).toLongLong()] << row.at(1).toLongLong();
        else if (kind == QLatin1String("drop"))
            input.drops << row.at(0).toLongLong();
        else if (const QStringList mvps = row.at(3).toString().split(QLatin1Char(':'));
                 mvps.value(0).toLongLong() == match) // a player's last row holds his count
            input.mvps.insert(row.at(1).toLongLong(), mvps.value(1).toLongLong());
    }
    return {};
}

} // namespace

bool playing(const QString &team)
{
    return isPlayingTeam(team) && team.compare(QLatin1String("Console"), Qt::CaseInsensitive);
}

Result<MatchInput> readMatch(const QSqlDatabase &db, qint64 game, const QJsonObject &page)
{
    MatchInput input;
    const QDateTime start =
        QDateTime::fromString(dateText(page.value(QLatin1String("start")).toVariant()), DateFormat);
    const QDateTime end =
        QDateTime::fromString(dateText(page.value(QLatin1String("end")).toVariant()), DateFormat);
    input.open = !end.isValid();
    const qint64 length = start.isValid() && end.isValid() ? start.secsTo(end) : -1;

    // Each player's side as he ended: the playing team he joined last.
    const Result<QList<Row>> joins = selectRows(
        db,
        QStringLiteral("SELECT gpt.Player, t.Team FROM Games_Players_Teams gpt JOIN Teams t ON "
                       "t.Record = gpt.Team WHERE gpt.Game = ? ORDER BY gpt.Record LIMIT 2000"),
        {game});
    if (!joins)
        return joins.error();
    QHash<qint64, QString> teams;
    for (const Row &row : *joins) {
        input.joins.append({row.at(0).toLongLong(), row.at(1).toString()});
        if (playing(row.at(1).toString()))
            teams.insert(row.at(0).toLongLong(), row.at(1).toString());
    }
    QSet<qint64> ids;
    for (const QJsonValue &line : page.value(QLatin1String("scoreboard")).toArray()) {
        const qint64 id = line[QLatin1String("id")].toInteger();
        ids << id;
        input.players << MatchPlayer{id, line[QLatin1String("player")].toString(),
                                     line[QLatin1String("name")].toString(), teams.value(id)};
    }

    const Result<QList<Row>> results =
        selectRows(db,
                   QStringLiteral("SELECT Team, Result, Score, Date_Time, Kind FROM "
                                  "Ledgerwell_Results WHERE Game = ? ORDER BY Record LIMIT 500"),
                   {game});
    if (!results)
        return results.error();
    qsizetype matchRounds = 0, matches = 0;
    for (const Row &row : *results) {
        // "Game Over" ends the match even where the game goes on (TF2's logs end no game, a
        // Counter-Strike server starts the next match on the same map): rounds after the
        // last one are another match's beginning, not this one's.
        if (row.at(4).toString() == QLatin1String("match")) {
            input.open = false;
            matchRounds = input.rounds.size();
            ++matches;
        }
        if (row.at(4).toString() != QLatin1String("round"))
            continue;
        const QDateTime at = QDateTime::fromString(dateText(row.at(3)), DateFormat);
        input.rounds << MatchRound{row.at(0).toString(), row.at(1).toString(), row.at(2).toString(),
                                   start.isValid() && at.isValid() ? start.secsTo(at) : 0};
    }
    if (matchRounds > 0)
        input.rounds.resize(matchRounds);

    if (const Status details = readDetails(db, game, std::max<qsizetype>(1, matches), input);
        !details)
        return details.error();
    const Result<std::optional<std::pair<qint64, qint64>>> range =
        rowRange(db, game, page.value(QLatin1String("server")).toInteger());
    if (!range)
        return range.error();
    if (!*range)
        return input;
    const Result<QList<MatchEvent>> events =
        gameRows(db, game, (*range)->first, (*range)->second, ids, length);
    if (!events)
        return events.error();
    input.events = *events;
    input.eventsKnown = true;
    return input;
}
