#include "Awards.h"

#include "StatsConnection.h"
#include "StatsQueries.h"

#include <QDateTime>

#include <cmath>
#include <functional>

namespace {

constexpr int MinimumForRatio = 20, MinimumInADay = 10;

const QString Named =
    QStringLiteral("SELECT p.Record, p.Player, COALESCE(n.Name, p.Player) FROM Players p LEFT JOIN "
                   "Stats_Standings n ON n.Scope = '' AND n.Player = p.Record WHERE p.Record = ?");

Result<QJsonObject> award(const QSqlDatabase &db, const char *key, const char *title, qint64 player,
                          const QJsonValue &value)
{
    const Result<QList<Row>> who = selectRows(db, Named, {player});
    if (!who)
        return who.error();
    if (who->isEmpty())
        return QJsonObject();
    return QJsonObject{{"award", QLatin1String(key)},
                       {"title", QLatin1String(title)},
                       {"id", player},
                       {"player", who->first().at(1).toString()},
                       {"name", who->first().at(2).toString()},
                       {"value", value}};
}

// The holder of an all-time award: the first row of a statement that gives player and value.
Result<QJsonArray> allTime(const QSqlDatabase &db)
{
    const QString standings = QStringLiteral(
        "SELECT Player, %1 FROM Stats_Standings WHERE Scope = '' AND %2 ORDER BY %3 DESC, "
        "Player LIMIT 1");
    const QList<std::tuple<const char *, const char *, QString>> list = {
        {"kills", "Most kills",
         standings.arg(QStringLiteral("Kills"), QStringLiteral("Kills > 0"),
                       QStringLiteral("Kills"))},
        {"kd", "Best K/D",
         standings.arg(QStringLiteral("KD"),
                       QStringLiteral("Kills + Deaths >= %1").arg(MinimumForRatio),
                       QStringLiteral("KD"))},
        {"hs", "Best headshot %",
         standings.arg(QStringLiteral("HS"), QStringLiteral("Extras >= %1").arg(MinimumForRatio),
                       QStringLiteral("HS"))},
        {"dpr", "Best damage per round",
         standings.arg(QStringLiteral("DPR"),
                       QStringLiteral("Rounds >= %1 AND Attacks > 0").arg(MinimumForRatio),
                       QStringLiteral("DPR"))},
        {"assists", "Most assists",
         standings.arg(QStringLiteral("Assists"), QStringLiteral("Assists > 0"),
                       QStringLiteral("Assists"))},
        {"time", "Most time played",
         standings.arg(QStringLiteral("Seconds"), QStringLiteral("Seconds > 0"),
                       QStringLiteral("Seconds"))},
        {"weapon_damage", "Most damage with one weapon",
         QStringLiteral("SELECT sw.Player, sw.Damage, w.Weapon FROM Stats_Weapons sw JOIN Weapons "
                        "w ON w.Record = sw.Weapon WHERE sw.Player <> 0 AND sw.Damage > 0 ORDER "
                        "BY sw.Damage DESC, sw.Player LIMIT 1")},
    };
    QJsonArray awards;
    for (const auto &[key, title, sql] : list) {
        const Result<QList<Row>> rows = selectRows(db, sql);
        if (!rows)
            return rows.error();
        if (rows->isEmpty())
            continue;
        const Row &row = rows->first();
        QJsonValue value = row.at(1).typeId() == QMetaType::Double
                               ? QJsonValue(std::round(row.at(1).toDouble() * 100) / 100)
                               : QJsonValue(row.at(1).toLongLong());
        const Result<QJsonObject> won = award(db, key, title, row.at(0).toLongLong(), value);
        if (!won)
            return won.error();
        QJsonObject entry = *won;
        if (row.size() > 2)
            entry.insert(QStringLiteral("weapon"), row.at(2).toString());
        if (!entry.isEmpty())
            awards.append(entry);
    }
    return awards;
}

struct DayLine
{
    qint64 player = 0, kills = 0, deaths = 0, headshots = 0, damage = 0, assists = 0;
    bool headshotsKnown = false, damageKnown = false;
};

Result<QJsonArray> daily(const QSqlDatabase &db, const QString &day)
{
    const Result<QList<Row>> rows = selectRows(
        db,
        QStringLiteral("SELECT gp.Player, SUM(gp.Kills), SUM(gp.Deaths), SUM(gp.Headshots), "
                       "SUM(gp.Damage), SUM(gp.Assists), SUM(gp.Extras), SUM(gp.Attacks) FROM "
                       "Games g JOIN Stats_Games_Players gp ON gp.Game = g.Record WHERE "
                       "g.Game_Start_Date_Time >= ? AND g.Game_Start_Date_Time < ? AND "
                       "gp.Player <> 0 GROUP BY gp.Player"),
        {day + QStringLiteral(" 00:00:00"),
         QDate::fromString(day, Qt::ISODate).addDays(1).toString(Qt::ISODate) +
             QStringLiteral(" 00:00:00")});
    if (!rows)
        return rows.error();
    QList<DayLine> lines;
    for (const Row &row : *rows)
        lines << DayLine{row.at(0).toLongLong(),     row.at(1).toLongLong(),
                         row.at(2).toLongLong(),     row.at(3).toLongLong(),
                         row.at(4).toLongLong(),     row.at(5).toLongLong(),
                         row.at(6).toLongLong() > 0, row.at(7).toLongLong() > 0};
    using Measure = std::function<std::optional<double>(const DayLine &)>;
    const QList<std::tuple<const char *, const char *, Measure>> list = {
        {"day_kills", "Most kills of the day",
         [](const DayLine &l) {
             return l.kills > 0 ? std::optional(double(l.kills)) : std::nullopt;
         }},
        {"day_headshots", "Most headshots of the day",
         [](const DayLine &l) {
             return l.headshotsKnown && l.headshots > 0 ? std::optional(double(l.headshots))
                                                        : std::nullopt;
         }},
        {"day_kd", "Best K/D of the day",
         [](const DayLine &l) {
             return l.kills + l.deaths >= MinimumInADay
                        ? std::optional(double(l.kills) / double(std::max<qint64>(1, l.deaths)))
                        : std::nullopt;
         }},
        {"day_damage", "Most damage of the day",
         [](const DayLine &l) {
             return l.damageKnown && l.damage > 0 ? std::optional(double(l.damage)) : std::nullopt;
         }},
        {"day_assists", "Most assists of the day",
         [](const DayLine &l) {
             return l.assists > 0 ? std::optional(double(l.assists)) : std::nullopt;
         }},
    };
    QJsonArray awards;
    for (const auto &[key, title, measure] : list) {
        const DayLine *best = nullptr;
        double bestValue = 0;
        for (const DayLine &line : lines) {
            const std::optional<double> value = measure(line);
            if (value && (!best || *value > bestValue ||
                          (*value == bestValue && line.player < best->player))) {
                best = &line;
                bestValue = *value;
            }
        }
        if (!best)
            continue;
        const bool whole = bestValue == std::floor(bestValue);
        const Result<QJsonObject> won = award(
            db, key, title, best->player,
            whole ? QJsonValue(qint64(bestValue)) : QJsonValue(std::round(bestValue * 100) / 100));
        if (!won)
            return won.error();
        if (!won->isEmpty())
            awards.append(*won);
    }
    return awards;
}

} // namespace

Result<QJsonObject> awards(const QSqlDatabase &db)
{
    const Result<QList<Row>> last =
        selectRows(db, QStringLiteral("SELECT MAX(Game_Start_Date_Time) FROM Games"));
    if (!last)
        return last.error();
    const QString day = last->isEmpty() ? QString() : dateText(last->first().first()).left(10);
    QJsonArray today;
    if (!day.isEmpty()) {
        const Result<QJsonArray> found = daily(db, day);
        if (!found)
            return found.error();
        today = *found;
    }
    const Result<QJsonArray> ever = allTime(db);
    if (!ever)
        return ever.error();
    return QJsonObject{{"day", day.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(day)},
                       {"daily", today},
                       {"all_time", *ever}};
}

QJsonArray awardsOf(const QJsonObject &awards, qint64 id)
{
    QJsonArray held;
    for (const char *list : {"daily", "all_time"}) {
        for (const QJsonValue &award : awards.value(QLatin1String(list)).toArray()) {
            if (award[QLatin1String("id")].toInteger() == id)
                held.append(award);
        }
    }
    return held;
}

Result<QJsonObject> StatsQueries::awards() const
{
    return ::awards(m_db);
}
