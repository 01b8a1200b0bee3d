#include "PlayerRecord.h"

#include "MatchRows.h"
#include "PlayerAim.h"
#include "StatsConnection.h"
#include "StatsTables.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QMap>
#include <QSet>

namespace {

constexpr int RecentGames = 500;
constexpr qint64 SessionGapSeconds = 2 * 3600;
const QString DateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

struct Game
{
    qint64 id = 0;
    QString map, start, team;
    qint64 kills = 0, deaths = 0;
    QList<std::pair<QString, QString>> rounds;
};

struct MapLine
{
    qint64 games = 0, decided = 0, wins = 0, kills = 0, deaths = 0;
};

double rounded(double value)
{
    return std::round(value * 100.0) / 100.0;
}

QJsonArray mapFigures(const QList<Game> &games)
{
    QMap<QString, MapLine> maps;
    for (const Game &game : games) {
        MapLine &line = maps[game.map];
        ++line.games;
        line.kills += game.kills;
        line.deaths += game.deaths;
        if (const std::optional<bool> won = gameWon(game.team, game.rounds)) {
            ++line.decided;
            line.wins += *won ? 1 : 0;
        }
    }
    QList<QString> order = maps.keys();
    std::stable_sort(order.begin(), order.end(), [&](const QString &a, const QString &b) {
        return maps.value(a).games > maps.value(b).games;
    });
    QJsonArray list;
    for (const QString &map : std::as_const(order)) {
        const MapLine &line = maps[map];
        list.append(QJsonObject{
            {"map", map.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(map)},
            {"games", line.games},
            {"wins", line.wins},
            {"win_pct", line.decided > 0
                            ? QJsonValue(rounded(100.0 * double(line.wins) / double(line.decided)))
                            : QJsonValue(QJsonValue::Null)},
            {"kills", line.kills},
            {"deaths", line.deaths},
            {"kd", rounded(double(line.kills) / double(std::max<qint64>(1, line.deaths)))}});
    }
    return list;
}

// Games per day over his recent games, or per month when they span more than two months;
// his sessions and his longest run of games won, oldest first.
void activity(const QList<Game> &games, QJsonObject &record)
{
    QList<QDateTime> starts;
    for (const Game &game : games)
        starts << QDateTime::fromString(game.start.left(19), DateFormat);
    std::sort(starts.begin(), starts.end());
    const bool monthly = !starts.isEmpty() && starts.first().daysTo(starts.last()) > 62;
    QMap<QString, qint64> buckets;
    qint64 sessions = 0;
    for (qsizetype i = 0; i < starts.size(); ++i) {
        if (!starts[i].isValid())
            continue;
        ++buckets[starts[i].toString(monthly ? QStringLiteral("yyyy-MM")
                                             : QStringLiteral("yyyy-MM-dd"))];
        if (i == 0 || !starts[i - 1].isValid() ||
            starts[i - 1].secsTo(starts[i]) > SessionGapSeconds)
            ++sessions;
    }
    QJsonArray points;
    for (auto it = buckets.cbegin(); it != buckets.cend(); ++it)
        points.append(QJsonObject{{"period", it.key()}, {"games", it.value()}});
    qint64 run = 0, best = 0;
    for (auto it = games.crbegin(); it != games.crend(); ++it) {
        const std::optional<bool> won = gameWon(it->team, it->rounds);
        if (!won)
            continue;
        run = *won ? run + 1 : 0;
        best = std::max(best, run);
    }
    record.insert(QStringLiteral("activity"), points);
    record.insert(QStringLiteral("activity_by"),
                  monthly ? QStringLiteral("month") : QStringLiteral("day"));
    record.insert(QStringLiteral("sessions"), sessions);
    record.insert(QStringLiteral("best_win_streak"), best);
}

} // namespace

std::optional<bool> gameWon(const QString &team, const QList<std::pair<QString, QString>> &rounds)
{
    if (rounds.isEmpty() || team.isEmpty())
        return std::nullopt;
    const QStringList score = rounds.last().second.split(QLatin1Char(':'));
    if (score.size() == 2) {
        const int ct = score.at(0).toInt(), t = score.at(1).toInt();
        if (ct == t)
            return std::nullopt;
        const bool isCt = team.compare(QLatin1String("CT"), Qt::CaseInsensitive) == 0;
        return isCt ? ct > t : t > ct;
    }
    QHash<QString, int> won;
    for (const auto &[winner, text] : rounds)
        ++won[winner.toLower()];
    const int own = won.value(team.toLower());
    int others = 0;
    for (auto it = won.cbegin(); it != won.cend(); ++it) {
        if (it.key() != team.toLower())
            others = std::max(others, it.value());
    }
    if (own == others)
        return std::nullopt;
    return own > others;
}

Result<QJsonObject> playerRecord(const QSqlDatabase &db, qint64 id)
{
    QJsonObject record;
    const Result<QList<Row>> seen = selectRows(
        db,
        QStringLiteral("SELECT MIN(g.Game_Start_Date_Time), MAX(g.Game_Start_Date_Time), "
                       "COUNT(*) FROM Stats_Games_Players gp JOIN Games g ON g.Record = gp.Game "
                       "WHERE gp.Player = ?"),
        {id});
    if (!seen)
        return seen.error();
    const Row none{QVariant(), QVariant(), 0};
    const Row &span = seen->isEmpty() ? none : seen->first();
    record.insert(QStringLiteral("first_seen"),
                  span.at(0).isNull() ? QJsonValue(QJsonValue::Null) : dateText(span.at(0)));
    record.insert(QStringLiteral("last_seen"),
                  span.at(1).isNull() ? QJsonValue(QJsonValue::Null) : dateText(span.at(1)));
    record.insert(QStringLiteral("games_played"), span.at(2).toLongLong());

    const Result<QList<Row>> rows = selectRows(
        db,
        QStringLiteral("SELECT gp.Game, m.Map, g.Game_Start_Date_Time, gp.Kills, gp.Deaths FROM "
                       "Stats_Games_Players gp JOIN Games g ON g.Record = gp.Game LEFT JOIN "
                       "Games_Maps gm ON gm.Game = gp.Game LEFT JOIN Maps m ON m.Record = gm.Map "
                       "WHERE gp.Player = ? ORDER BY gp.Game DESC LIMIT %1")
            .arg(RecentGames),
        {id});
    if (!rows)
        return rows.error();
    QList<Game> games;
    QHash<qint64, qsizetype> index;
    for (const Row &row : *rows) {
        index.insert(row.at(0).toLongLong(), games.size());
        games << Game{row.at(0).toLongLong(),
                      row.at(1).toString(),
                      dateText(row.at(2)),
                      {},
                      row.at(3).toLongLong(),
                      row.at(4).toLongLong(),
                      {}};
    }
    const qint64 oldest = games.isEmpty() ? 0 : games.last().id;
    const Result<QList<Row>> teams = selectRows(
        db,
        QStringLiteral("SELECT gpt.Game, t.Team FROM Games_Players_Teams gpt JOIN Teams t ON "
                       "t.Record = gpt.Team WHERE gpt.Player = ? AND gpt.Game >= ? ORDER BY "
                       "gpt.Record"),
        {id, oldest});
    if (!teams)
        return teams.error();
    // Each team is kept once per game, in the order first joined: the team of one who
    // played for both cannot be told, and such a game counts neither way for him.
    QHash<qint64, QSet<QString>> joined;
    for (const Row &row : *teams) {
        if (playing(row.at(1).toString()))
            joined[row.at(0).toLongLong()] << row.at(1).toString();
    }
    for (auto it = joined.cbegin(); it != joined.cend(); ++it) {
        const auto at = index.constFind(it.key());
        if (at != index.cend() && it->size() == 1)
            games[*at].team = *it->cbegin();
    }
    if (hasTable(db, QStringLiteral("Ledgerwell_Results")) && !games.isEmpty()) {
        const Result<QList<Row>> results = selectRows(
            db,
            QStringLiteral("SELECT r.Game, r.Team, r.Score FROM Ledgerwell_Results r JOIN "
                           "Stats_Games_Players gp ON gp.Game = r.Game AND gp.Player = ? WHERE "
                           "r.Game >= ? AND r.Kind = 'round' ORDER BY r.Record"),
            {id, oldest});
        if (!results)
            return results.error();
        for (const Row &row : *results) {
            const auto at = index.constFind(row.at(0).toLongLong());
            if (at != index.cend())
                games[*at].rounds << std::pair{row.at(1).toString(), row.at(2).toString()};
        }
    }
    record.insert(QStringLiteral("map_figures"), mapFigures(games));
    activity(games, record);

    if (const Status aim = addAim(db, id, oldest, record); !aim)
        return aim.error();
    return record;
}
