#include "PlayerAim.h"

#include "StatsTables.h"

#include <QJsonArray>
#include <QMap>

#include <cmath>

namespace {

double rounded(double value)
{
    return std::round(value * 100.0) / 100.0;
}

struct Shots
{
    qint64 shots = 0, hits = 0;
};

// Shots and hits per weapon name from both places they are kept: the stats plugins' rows
// of GoldSrc (a row a round or a life), and TF2's line per shot, which the standings count
// as they come.
Status addShots(const QSqlDatabase &db, qint64 id, QMap<QString, Shots> &weapons)
{
    const QList<std::pair<QString, QString>> sources = {
        {QStringLiteral("Ledgerwell_Weapon_Stats"),
         QStringLiteral("SELECT w.Weapon, SUM(ws.Shots), SUM(ws.Hits) FROM "
                        "Ledgerwell_Weapon_Stats ws JOIN Weapons w ON w.Record = ws.Weapon WHERE "
                        "ws.Player = ? GROUP BY w.Weapon LIMIT 200")},
        {QStringLiteral("Stats_Weapons"),
         QStringLiteral("SELECT w.Weapon, sw.Shots, sw.Hits FROM Stats_Weapons sw JOIN Weapons w "
                        "ON w.Record = sw.Weapon WHERE sw.Player = ? AND sw.Shots + sw.Hits > 0 "
                        "LIMIT 400")}};
    for (const auto &[table, sql] : sources) {
        if (!hasTable(db, table))
            continue;
        const Result<QList<Row>> rows = selectRows(db, sql, {id});
        if (!rows)
            return rows.error();
        for (const Row &row : *rows) {
            Shots &shots = weapons[row.at(0).toString()];
            shots.shots += row.at(1).toLongLong();
            shots.hits += row.at(2).toLongLong();
        }
    }
    return {};
}

// The body's parts as players name them; Counter-Strike writes "left arm", CS2 also
// "GENERIC" for damage that hit no part (fire, grenades, falls).
QString part(const QString &group)
{
    const QString lower = group.toLower();
    for (const char *limb : {"arm", "leg"}) {
        if (lower.endsWith(QLatin1String(limb)))
            return QLatin1String(limb) + QLatin1Char('s');
    }
    if (lower == QLatin1String("head") || lower == QLatin1String("chest") ||
        lower == QLatin1String("stomach") || lower == QLatin1String("neck"))
        return lower;
    return QStringLiteral("other");
}

const char *const Parts[] = {"head", "neck", "chest", "stomach", "arms", "legs", "other"};

Result<QJsonArray> hitGroups(const QSqlDatabase &db, qint64 id, qint64 fromGame)
{
    if (!hasTable(db, QStringLiteral("Ledgerwell_Details")))
        return QJsonArray();
    const Result<QList<Row>> rows = selectRows(
        db,
        QStringLiteral("SELECT w.Weapon, d.Detail, COUNT(*) FROM Ledgerwell_Details d JOIN Scores "
                       "s ON s.Record = d.Score JOIN Types t ON t.Record = s.Type LEFT JOIN "
                       "Weapons w ON w.Record = s.Weapon WHERE d.Player = ? AND d.Game >= ? AND "
                       "d.Kind = 'hitgroup' AND t.Type = 'attack' AND s.Victim <> s.Killer GROUP "
                       "BY w.Weapon, d.Detail LIMIT 2000"),
        {id, fromGame});
    if (!rows)
        return rows.error();
    // Every weapon (the empty name), then each named weapon, by the most hits.
    QMap<QString, QMap<QString, qint64>> weapons;
    for (const Row &row : *rows) {
        const qint64 hits = row.at(2).toLongLong();
        weapons[QString()][part(row.at(1).toString())] += hits;
        if (!row.at(0).toString().isEmpty())
            weapons[row.at(0).toString()][part(row.at(1).toString())] += hits;
    }
    QList<QJsonObject> lines;
    for (auto it = weapons.cbegin(); it != weapons.cend(); ++it) {
        QJsonObject line{{"weapon", it.key().isEmpty() ? QJsonValue(QJsonValue::Null) : it.key()}};
        qint64 hits = 0;
        for (const char *name : Parts) {
            line.insert(QLatin1String(name), it->value(QLatin1String(name)));
            hits += it->value(QLatin1String(name));
        }
        line.insert(QStringLiteral("hits"), hits);
        line.insert(QStringLiteral("head_pct"),
                    rounded(100.0 * double(it->value(QStringLiteral("head"))) / double(hits)));
        lines << line;
    }
    std::stable_sort(lines.begin(), lines.end(), [](const QJsonObject &a, const QJsonObject &b) {
        if (a[QLatin1String("weapon")].isNull() != b[QLatin1String("weapon")].isNull())
            return a[QLatin1String("weapon")].isNull();
        return a[QLatin1String("hits")].toInteger() > b[QLatin1String("hits")].toInteger();
    });
    QJsonArray list;
    for (const QJsonObject &line : std::as_const(lines))
        list.append(line);
    return list;
}

} // namespace

Status addAim(const QSqlDatabase &db, qint64 id, qint64 fromGame, QJsonObject &record)
{
    QMap<QString, Shots> weapons;
    if (const Status read = addShots(db, id, weapons); !read)
        return read;
    QList<std::pair<QString, Shots>> fired;
    for (auto it = weapons.cbegin(); it != weapons.cend(); ++it) {
        if (it->shots > 0)
            fired << std::pair{it.key(), *it};
    }
    std::stable_sort(fired.begin(), fired.end(),
                     [](const auto &a, const auto &b) { return a.second.shots > b.second.shots; });
    QJsonArray accuracy;
    for (const auto &[weapon, shots] : std::as_const(fired).mid(0, 50))
        accuracy.append(QJsonObject{
            {"weapon", weapon},
            {"shots", shots.shots},
            {"hits", shots.hits},
            {"accuracy_pct", rounded(100.0 * double(shots.hits) / double(shots.shots))}});
    record.insert(QStringLiteral("accuracy"), accuracy);
    const Result<QJsonArray> groups = hitGroups(db, id, fromGame);
    if (!groups)
        return groups.error();
    record.insert(QStringLiteral("hit_groups"), *groups);
    return {};
}
