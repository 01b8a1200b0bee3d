#include "Comparison.h"

#include "StatsQueries.h"

namespace {

Result<QJsonObject> side(const QSqlDatabase &db, qint64 id)
{
    const Result<QList<Row>> rows = selectRows(
        db,
        QStringLiteral("SELECT p.Record, p.Player, COALESCE(s.Name, p.Player), s.Rating, s.Kills, "
                       "s.Deaths, s.KD, CASE WHEN s.Extras > 0 THEN s.HS END, s.Assists, CASE "
                       "WHEN s.Rounds > 0 AND s.Attacks > 0 THEN s.DPR END, s.Rounds, s.Won, "
                       "s.Seconds FROM Players p LEFT JOIN Stats_Standings s ON s.Scope = '' AND "
                       "s.Player = p.Record WHERE p.Record = ?"),
        {id});
    if (!rows)
        return rows.error();
    if (rows->isEmpty())
        return QJsonObject();
    return objects(*rows,
                   {"id", "player", "name", "rating", "kills", "deaths", "kd", "headshot_pct",
                    "assists", "damage_per_round", "rounds", "rounds_won", "seconds"})
        .first()
        .toObject();
}

Result<qint64> killsOn(const QSqlDatabase &db, qint64 killer, qint64 victim)
{
    const Result<QList<Row>> rows = selectRows(
        db,
        QStringLiteral("SELECT COUNT(*) FROM Scores s JOIN Types t ON t.Record = s.Type AND "
                       "t.Type = 'kill' WHERE s.Killer = ? AND s.Victim = ?"),
        {killer, victim});
    if (!rows)
        return rows.error();
    return rows->isEmpty() ? 0 : rows->first().first().toLongLong();
}

} // namespace

Result<QJsonObject> comparison(const QSqlDatabase &db, qint64 a, qint64 b)
{
    const Result<QJsonObject> first = side(db, a), second = side(db, b);
    if (!first || !second)
        return first ? second.error() : first.error();
    if (first->isEmpty() || second->isEmpty())
        return QJsonObject();
    const Result<qint64> aOnB = killsOn(db, a, b), bOnA = killsOn(db, b, a);
    if (!aOnB || !bOnA)
        return aOnB ? bOnA.error() : aOnB.error();
    const Result<QList<Row>> together = selectRows(
        db,
        QStringLiteral("SELECT COUNT(*), COALESCE(SUM(x.Kills), 0), COALESCE(SUM(x.Deaths), 0), "
                       "COALESCE(SUM(y.Kills), 0), COALESCE(SUM(y.Deaths), 0) FROM "
                       "Stats_Games_Players x JOIN Stats_Games_Players y ON y.Game = x.Game AND "
                       "y.Player = ? WHERE x.Player = ?"),
        {b, a});
    if (!together)
        return together.error();
    const Row row = together->isEmpty() ? Row{0, 0, 0, 0, 0} : together->first();
    return QJsonObject{{"players", QJsonArray{*first, *second}},
                       {"head_to_head",
                        QJsonObject{{"kills_on_other", QJsonArray{*aOnB, *bOnA}},
                                    {"games_together", row.at(0).toLongLong()},
                                    {"kills_in_those_games",
                                     QJsonArray{row.at(1).toLongLong(), row.at(3).toLongLong()}},
                                    {"deaths_in_those_games",
                                     QJsonArray{row.at(2).toLongLong(), row.at(4).toLongLong()}}}}};
}

Result<QJsonObject> StatsQueries::comparison(qint64 a, qint64 b) const
{
    return ::comparison(m_db, a, b);
}
