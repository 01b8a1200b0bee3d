#include "StandingsStore.h"

#include "RowInserts.h"
#include "RowStatement.h"
#include "SqlRows.h"
#include "StatsTables.h"
#include "platform/SqlProvider.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace {

const QString StandingsColumns = QStringLiteral(
    "Scope, Player, Steam, Name, Kills, Deaths, Assists, Headshots, Damage, Rounds, Seconds, "
    "Teamkills, Suicides, Last_Game, Last_Offset, Mu, Sigma, Rating, KD, HS, DPR, Won, Extras, "
    "Attacks");

// "INSERT ... ON CONFLICT (keys) DO UPDATE SET every other column", which SQLite and
// PostgreSQL both speak.
InsertText upsert(const QString &table, const QString &columns, const QString &keys)
{
    const QStringList names = columns.split(QStringLiteral(", "));
    QStringList sets;
    for (const QString &name : names) {
        if (!keys.split(QStringLiteral(", ")).contains(name))
            sets << name + QStringLiteral(" = excluded.") + name;
    }
    return {QStringLiteral("INSERT INTO %1 (%2)").arg(table, columns), int(names.size()),
            QStringLiteral(" ON CONFLICT (%1) DO UPDATE SET %2")
                .arg(keys, sets.join(QStringLiteral(", ")))};
}

// The same, adding the numbers to what the row holds.
InsertText increment(const QString &table, const QString &columns, const QString &keys)
{
    const QStringList names = columns.split(QStringLiteral(", "));
    QStringList sums;
    for (const QString &name : names) {
        if (!keys.split(QStringLiteral(", ")).contains(name))
            sums << QStringLiteral("%1 = %2.%1 + excluded.%1").arg(name, table);
    }
    return {QStringLiteral("INSERT INTO %1 (%2)").arg(table, columns), int(names.size()),
            QStringLiteral(" ON CONFLICT (%1) DO UPDATE SET %2")
                .arg(keys, sums.join(QStringLiteral(", ")))};
}

// Keys in the order of the table's primary key: rows written in that order land in the
// pages written just before, where a hash's order scatters them over the whole file.
template <typename Key> QList<Key> inKeyOrder(const QSet<Key> &keys)
{
    QList<Key> list(keys.cbegin(), keys.cend());
    std::sort(list.begin(), list.end());
    return list;
}

template <typename Key, typename Value> QList<Key> inKeyOrder(const QHash<Key, Value> &rows)
{
    QList<Key> list = rows.keys();
    std::sort(list.begin(), list.end());
    return list;
}

double ratio(qint64 part, qint64 whole, double factor = 1.0)
{
    return whole > 0 ? factor * double(part) / double(whole) : 0.0;
}

} // namespace

const QString GameLineColumns =
    QStringLiteral("Game, Player, Kills, Deaths, Headshots, Teamkills, Suicides, Assists, "
                   "Damage, Attacks, Extras");

ErrorInfo queryError(const QSqlQuery &query)
{
    return ErrorInfo{0, engineText(query.lastError())};
}

Status StandingsStore::exec(const QString &sql)
{
    QSqlQuery query(m_db);
    if (!query.exec(sql))
        return queryError(query);
    return {};
}

Status StandingsStore::prepare()
{
    for (const QString &sql : ownTableStatements(dialectOf(m_db))) {
        if (const Status done = exec(sql); !done)
            return done;
    }
    for (const QString &sql : sourceIndexStatements()) {
        const QString table = sql.section(QLatin1Char(' '), 7, 7);
        if (!hasTable(m_db, table))
            continue;
        if (const Status done = exec(sql); !done)
            return done;
    }
    return {};
}

Status StandingsStore::createIndexes()
{
    for (const QString &sql : ownIndexStatements()) {
        if (const Status done = exec(sql); !done)
            return done;
    }
    return {};
}

Result<bool> StandingsStore::empty()
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT 1 FROM Stats_Standings LIMIT 1")))
        return queryError(query);
    return !query.next();
}

Status StandingsStore::startOverUnless(qint64 layout)
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT Value FROM Stats_Cursor WHERE Name = 'layout'")))
        return queryError(query);
    if (query.next() && query.value(0).toLongLong() == layout)
        return {};
    query.finish();
    for (const char *table : {"Stats_Standings", "Stats_History", "Stats_Weapons",
                              "Stats_Games_Players", "Stats_Rounds", "Stats_Cursor"}) {
        if (const Status done = exec(QStringLiteral("DROP TABLE ") + QLatin1String(table)); !done)
            return done;
    }
    return prepare();
}

Status StandingsStore::load(Standings &standings, QHash<QString, qint64> &cursors,
                            QHash<qint64, RoundState> &rounds)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT %1 FROM Stats_Standings").arg(StandingsColumns)))
        return queryError(query);
    while (query.next()) {
        const qint64 player = query.value(1).toLongLong();
        Totals totals;
        qint64 *counts[] = {&totals.kills,     &totals.deaths,    &totals.assists,
                            &totals.headshots, &totals.damage,    &totals.rounds,
                            &totals.seconds,   &totals.teamkills, &totals.suicides};
        for (int i = 0; i < 9; ++i)
            *counts[i] = query.value(4 + i).toLongLong();
        totals.skill = {query.value(15).toDouble(), query.value(16).toDouble()};
        totals.won = query.value(21).toLongLong();
        totals.extras = query.value(22).toLongLong();
        totals.attacks = query.value(23).toLongLong();
        standings.restore({query.value(0).toString(), player}, totals);
        if (query.value(0).toString().isEmpty()) {
            PlayerInfo &info = standings.player(player);
            info.steam = query.value(2).toString();
            info.name = query.value(3).toString();
            info.lastGame = query.value(13).toLongLong();
            info.lastOffset = query.value(14).toLongLong();
        }
    }
    if (!query.exec(QStringLiteral(
            "SELECT Player, Weapon, Kills, Headshots, Damage, Deaths, Shots, Hits FROM "
            "Stats_Weapons")))
        return queryError(query);
    while (query.next())
        standings.restore({query.value(0).toLongLong(), query.value(1).toLongLong()},
                          WeaponTotals{query.value(2).toLongLong(), query.value(3).toLongLong(),
                                       query.value(4).toLongLong(), query.value(5).toLongLong(),
                                       query.value(6).toLongLong(), query.value(7).toLongLong()});
    if (!query.exec(QStringLiteral("SELECT Name, Value FROM Stats_Cursor")))
        return queryError(query);
    while (query.next())
        cursors.insert(query.value(0).toString(), query.value(1).toLongLong());
    if (!query.exec(QStringLiteral("SELECT Game, State FROM Stats_Rounds")))
        return queryError(query);
    while (query.next())
        rounds.insert(query.value(0).toLongLong(), roundStateFrom(query.value(1).toByteArray()));
    return {};
}

Status StandingsStore::flush(Standings &standings, const QHash<QString, qint64> &cursors,
                             const QHash<qint64, RoundState> &rounds)
{
    const Standings::Changes changes = standings.takeChanges();
    if (!m_db.transaction())
        return ErrorInfo{0, engineText(m_db.lastError())};
    const Status written = write(standings, changes, cursors, rounds);
    if (!written) {
        m_db.rollback();
        return written;
    }
    if (!m_db.commit()) {
        const ErrorInfo error{0, engineText(m_db.lastError())};
        m_db.rollback();
        return error;
    }
    return {};
}

Status StandingsStore::write(const Standings &standings, const Standings::Changes &changes,
                             const QHash<QString, qint64> &cursors,
                             const QHash<qint64, RoundState> &rounds)
{
    const PlayerInfo none;
    const auto infoOf = [&](qint64 player) -> const PlayerInfo & {
        const PlayerInfo *info = standings.playerInfo(player);
        return info ? *info : none;
    };
    // Renames first: the rows written below carry the new name already, so only rows stored
    // by earlier flushes are looked for (none at the first store).
    RowStatement names(
        m_db, QStringLiteral("UPDATE Stats_Standings SET Name = ?, Steam = ? WHERE Player = ?"));
    for (const qint64 player : inKeyOrder(changes.renamed)) {
        const PlayerInfo &info = infoOf(player);
        if (const Status done = names.run(info.name, info.steam, player); !done)
            return done;
    }
    RowInserts rows(m_db, upsert(QStringLiteral("Stats_Standings"), StandingsColumns,
                                 QStringLiteral("Scope, Player")));
    for (const ScopeKey &key : inKeyOrder(changes.totals)) {
        const Totals t = standings.totals(key);
        const PlayerInfo &info = infoOf(key.second);
        const Status done = rows.add(
            key.first, key.second, info.steam, info.name, t.kills, t.deaths, t.assists, t.headshots,
            t.damage, t.rounds, t.seconds, t.teamkills, t.suicides, info.lastGame, info.lastOffset,
            t.skill.mu, t.skill.sigma, t.skill.rating(),
            ratio(t.kills, std::max<qint64>(t.deaths, 1)), ratio(t.headshots, t.extras, 100.0),
            ratio(t.damage, t.rounds), t.won, t.extras, t.attacks);
        if (!done)
            return done;
    }
    if (const Status done = rows.finish(); !done)
        return done;
    RowInserts weapons(m_db, upsert(QStringLiteral("Stats_Weapons"),
                                    QStringLiteral("Player, Weapon, Kills, Headshots, Damage, "
                                                   "Deaths, Shots, Hits"),
                                    QStringLiteral("Player, Weapon")));
    for (const WeaponKey &key : inKeyOrder(changes.weapons)) {
        const WeaponTotals w = standings.weapon(key);
        if (const Status done = weapons.add(key.first, key.second, w.kills, w.headshots, w.damage,
                                            w.deaths, w.shots, w.hits);
            !done)
            return done;
    }
    if (const Status done = weapons.finish(); !done)
        return done;
    RowInserts history(m_db,
                       upsert(QStringLiteral("Stats_History"),
                              QStringLiteral("Scope, Player, Game, Date_Time, Mu, Sigma, Rating"),
                              QStringLiteral("Scope, Player, Game")));
    for (const HistoryKey &key : inKeyOrder(changes.history)) {
        const HistoryPoint &point = changes.history[key];
        if (const Status done =
                history.add(key.first.first, key.first.second, key.second, point.start,
                            point.skill.mu, point.skill.sigma, point.skill.rating());
            !done)
            return done;
    }
    if (const Status done = history.finish(); !done)
        return done;
    RowInserts lines(m_db, increment(QStringLiteral("Stats_Games_Players"), GameLineColumns,
                                     QStringLiteral("Game, Player")));
    for (const LineKey &key : inKeyOrder(changes.lines)) {
        const GameLine &l = changes.lines[key];
        if (const Status done =
                lines.add(key.first, key.second, l.kills, l.deaths, l.headshots, l.teamkills,
                          l.suicides, l.assists, l.damage, l.attacks, l.extras);
            !done)
            return done;
    }
    if (const Status done = lines.finish(); !done)
        return done;
    if (const Status done = exec(QStringLiteral("DELETE FROM Stats_Rounds")); !done)
        return done;
    RowInserts open(m_db, {QStringLiteral("INSERT INTO Stats_Rounds (Game, State)"), 2, {}});
    for (auto it = rounds.cbegin(); it != rounds.cend(); ++it) {
        if (const Status done = open.add(it.key(), QString::fromUtf8(roundStateText(it.value())));
            !done)
            return done;
    }
    if (const Status done = open.finish(); !done)
        return done;
    // The cursors are the whole of the reading state (servers' games, rounds taken early
    // among them): what is no longer there goes.
    if (const Status done = exec(QStringLiteral("DELETE FROM Stats_Cursor")); !done)
        return done;
    RowInserts cursor(m_db, upsert(QStringLiteral("Stats_Cursor"), QStringLiteral("Name, Value"),
                                   QStringLiteral("Name")));
    for (auto it = cursors.cbegin(); it != cursors.cend(); ++it) {
        if (const Status done = cursor.add(it.key(), it.value()); !done)
            return done;
    }
    return cursor.finish();
}
