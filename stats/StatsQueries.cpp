#include "StatsQueries.h"

#include "Awards.h"
#include "MatchRows.h"
#include "PlayerRecord.h"
#include "StatsConnection.h"

#include <QHash>

#include <cmath>

namespace {

constexpr int MinimumForRatio = 20;

// Sort key -> column of Stats_Standings, each with an index (Scope, column).
const QHash<QString, QString> &sortColumns()
{
    static const QHash<QString, QString> columns = {
        {QStringLiteral("rating"), QStringLiteral("Rating")},
        {QStringLiteral("kills"), QStringLiteral("Kills")},
        {QStringLiteral("deaths"), QStringLiteral("Deaths")},
        {QStringLiteral("kd"), QStringLiteral("KD")},
        {QStringLiteral("hs"), QStringLiteral("HS")},
        {QStringLiteral("assists"), QStringLiteral("Assists")},
        {QStringLiteral("dpr"), QStringLiteral("DPR")},
        {QStringLiteral("time"), QStringLiteral("Seconds")},
    };
    return columns;
}

QJsonValue json(const QVariant &value)
{
    if (value.isNull())
        return QJsonValue::Null;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return value.toLongLong();
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toDouble(); // rounded once, where it is shown
    default:
        return value.toString();
    }
}

QString rankingFilter(const PageRequest &request, QVariantList &values)
{
    values << request.scope;
    QString where = QStringLiteral("WHERE Scope = ? AND Kills + Deaths > 0");
    // A ratio of three kills says nothing: these sorts rank players with enough of them.
    if (request.sort == QLatin1String("kd"))
        where += QStringLiteral(" AND Kills + Deaths >= %1").arg(MinimumForRatio);
    else if (request.sort == QLatin1String("hs"))
        where += QStringLiteral(" AND Extras >= %1").arg(MinimumForRatio);
    return where;
}

// The name shown for player column `record`: his latest name, else his Players value.
QString shownName(const QString &record, const QString &alias)
{
    return QStringLiteral("LEFT JOIN Stats_Standings %2 ON %2.Scope = '' AND %2.Player = %1")
        .arg(record, alias);
}

} // namespace

QJsonArray objects(const QList<Row> &rows, const QStringList &keys)
{
    QJsonArray array;
    for (const Row &row : rows) {
        QJsonObject object;
        for (int i = 0; i < keys.size() && i < row.size(); ++i)
            object.insert(keys.at(i), json(row.at(i)));
        array.append(object);
    }
    return array;
}

const QStringList &StatsQueries::sortKeys()
{
    static const QStringList keys = {QStringLiteral("rating"), QStringLiteral("kills"),
                                     QStringLiteral("deaths"), QStringLiteral("kd"),
                                     QStringLiteral("hs"),     QStringLiteral("assists"),
                                     QStringLiteral("dpr"),    QStringLiteral("time")};
    return keys;
}

Result<QJsonArray> StatsQueries::rankings(const PageRequest &request,
                                          const std::vector<qint64> &order) const
{
    const std::size_t first =
        std::min(order.size(), std::size_t(request.page - 1) * std::size_t(request.pageSize));
    const std::size_t last = std::min(order.size(), first + std::size_t(request.pageSize));
    if (first == last)
        return QJsonArray();
    QVariantList values{request.scope};
    QStringList marks;
    for (std::size_t i = first; i < last; ++i) {
        values << order[i];
        marks << QStringLiteral("?");
    }
    const Result<QList<Row>> rows = selectRows(
        m_db,
        QStringLiteral("SELECT Player, Steam, COALESCE(Name, Steam), Rating, Mu, Sigma, Kills, "
                       "Deaths, KD, CASE WHEN Extras > 0 THEN HS END, CASE WHEN Extras > 0 THEN "
                       "Headshots END, Assists, CASE WHEN Attacks > 0 THEN Damage END, Rounds, "
                       "CASE WHEN Rounds > 0 AND Attacks > 0 THEN DPR END, Seconds, Won FROM "
                       "Stats_Standings WHERE Scope = ? AND Player IN (%1)")
            .arg(marks.join(u',')),
        values);
    if (!rows)
        return rows.error();
    // The rows come in any order: put them in the ranking's. A player the list names but
    // the table no longer holds is left out.
    QHash<qint64, qsizetype> place;
    for (qsizetype i = 0; i < rows->size(); ++i)
        place.insert(rows->at(i).first().toLongLong(), i);
    QList<Row> ranked;
    for (std::size_t i = first; i < last; ++i) {
        if (const auto found = place.constFind(order[i]); found != place.cend())
            ranked << rows->at(*found);
    }
    QJsonArray array =
        objects(ranked, {"id", "player", "name", "rating", "mu", "sigma", "kills", "deaths", "kd",
                         "headshot_pct", "headshots", "assists", "damage", "rounds",
                         "damage_per_round", "seconds", "rounds_won"});
    for (int i = 0; i < array.size(); ++i) {
        QJsonObject object = array.at(i).toObject();
        object.insert(QStringLiteral("rank"), qint64(first) + i + 1);
        array.replace(i, object);
    }
    return array;
}

Result<std::vector<qint64>> StatsQueries::rankedPlayers(const PageRequest &request) const
{
    QVariantList values;
    const QString where = rankingFilter(request, values);
    return selectNumbers(
        m_db,
        QStringLiteral("SELECT Player FROM Stats_Standings %1 ORDER BY %2 DESC")
            .arg(where, sortColumns().value(request.sort, QStringLiteral("Rating"))),
        values);
}

Result<SearchTexts> StatsQueries::searchTexts(const QString &scope) const
{
    const Result<QList<Row>> rows =
        selectRows(m_db,
                   QStringLiteral("SELECT Player, Name, Steam FROM Stats_Standings WHERE Scope = "
                                  "? AND Kills + Deaths > 0"),
                   {scope});
    if (!rows)
        return rows.error();
    SearchTexts texts;
    texts.reserve(std::size_t(rows->size()));
    for (const Row &row : *rows)
        texts.emplace_back(
            row.at(0).toLongLong(),
            (row.at(1).toString() + QLatin1Char('\n') + row.at(2).toString()).toCaseFolded());
    return texts;
}

Result<QJsonArray> StatsQueries::scopes() const
{
    const Result<QList<Row>> rows = selectRows(
        m_db,
        QStringLiteral("SELECT scope, name FROM (SELECT 0 AS kind, Record AS number, 'server:' "
                       "|| CAST(Record AS VARCHAR(20)) AS scope, Server_Name AS name FROM "
                       "Servers UNION SELECT DISTINCT 1, 0, 'mod:' || Patch_Name, Patch_Name "
                       "FROM Games WHERE Patch_Name IS NOT NULL) s ORDER BY kind, number, "
                       "scope LIMIT 200"));
    if (!rows)
        return rows.error();
    return objects(*rows, {"scope", "name"});
}

Result<QJsonArray> StatsQueries::playerPart(const QString &sql, const QVariantList &values,
                                            const QStringList &keys) const
{
    const Result<QList<Row>> rows = selectRows(m_db, sql, values);
    if (!rows)
        return rows.error();
    return objects(*rows, keys);
}

Result<QJsonObject> StatsQueries::player(qint64 id) const
{
    const Result<QList<Row>> found = selectRows(
        m_db,
        QStringLiteral("SELECT p.Record, p.Player, COALESCE(n.Name, p.Player) FROM Players p %1 "
                       "WHERE p.Record = ?")
            .arg(shownName(QStringLiteral("p.Record"), QStringLiteral("n"))),
        {id});
    if (!found)
        return found.error();
    if (found->isEmpty())
        return QJsonObject();
    QJsonObject page = objects(*found, {"id", "player", "name"}).first().toObject();
    // By the type's Record, so that a search by killer reads only his kills in the index that
    // begins with Killer and Type, not his every row (TF2 logs a row per shot).
    const QString kill = QStringLiteral("s.Type IN (SELECT Record FROM Types WHERE Type = 'kill')");
    const QList<std::tuple<const char *, QString, QVariantList, QStringList>> parts = {
        {"standings",
         QStringLiteral("SELECT Scope, Rating, Mu, Sigma, Kills, Deaths, KD, CASE WHEN Extras > "
                        "0 THEN HS END, Assists, CASE WHEN Attacks > 0 THEN Damage END, CASE WHEN "
                        "Rounds > 0 AND Attacks > 0 THEN DPR END, Seconds FROM Stats_Standings "
                        "WHERE Player = ? ORDER BY Scope LIMIT 100"),
         {id},
         {"scope", "rating", "mu", "sigma", "kills", "deaths", "kd", "headshot_pct", "assists",
          "damage", "damage_per_round", "seconds"}},
        {"names",
         QStringLiteral("SELECT DISTINCT c.Val FROM Games_Players_Cvars gpc JOIN Cvars c ON "
                        "c.Record = gpc.Cvar WHERE gpc.Player = ? AND c.Cvar = 'name' LIMIT 50"),
         {id},
         {"name"}},
        {"teams",
         QStringLiteral("SELECT t.Team, COUNT(DISTINCT gpt.Game) FROM Games_Players_Teams gpt JOIN "
                        "Teams t ON t.Record = gpt.Team WHERE gpt.Player = ? GROUP BY t.Team "
                        "ORDER BY 2 DESC, 1 LIMIT 20"),
         {id},
         {"team", "games"}},
        {"history",
         QStringLiteral("SELECT Game, Date_Time, Rating, Mu, Sigma FROM (SELECT Game, Date_Time, "
                        "Rating, Mu, Sigma FROM Stats_History WHERE Scope = '' AND Player = ? "
                        "ORDER BY Game DESC LIMIT 200) h ORDER BY Game"),
         {id},
         {"game", "date", "rating", "mu", "sigma"}},
        {"weapons",
         QStringLiteral("SELECT w.Weapon, sw.Kills, sw.Headshots, sw.Damage, sw.Deaths FROM "
                        "Stats_Weapons sw JOIN Weapons w ON w.Record = sw.Weapon WHERE "
                        "sw.Player = ? ORDER BY sw.Kills DESC, sw.Damage DESC, w.Weapon LIMIT 50"),
         {id},
         {"weapon", "kills", "headshots", "damage", "deaths"}},
        {"maps",
         QStringLiteral("SELECT m.Map, COUNT(DISTINCT gpt.Game) FROM Games_Players_Teams gpt JOIN "
                        "Games_Maps gm ON gm.Game = gpt.Game JOIN Maps m ON m.Record = gm.Map "
                        "WHERE gpt.Player = ? GROUP BY m.Map ORDER BY 2 DESC, 1 LIMIT 50"),
         {id},
         {"map", "games"}},
        {"games",
         QStringLiteral("SELECT g.Record, g.Game_Start_Date_Time, m.Map, COALESCE(gp.Kills, 0), "
                        "COALESCE(gp.Deaths, 0) FROM (SELECT DISTINCT Game FROM "
                        "Games_Players_Teams WHERE Player = ?) pg JOIN Games g ON g.Record = "
                        "pg.Game LEFT JOIN Stats_Games_Players gp ON gp.Game = g.Record AND "
                        "gp.Player = ? LEFT JOIN Games_Maps gm ON gm.Game = g.Record LEFT JOIN "
                        "Maps m ON m.Record = gm.Map ORDER BY g.Record DESC LIMIT 10"),
         {id, id},
         {"game", "start", "map", "kills", "deaths"}},
        {"opponents",
         QStringLiteral("SELECT x.Opponent, p.Player, COALESCE(n.Name, p.Player), SUM(x.K), "
                        "SUM(x.D) FROM (SELECT s.Victim AS Opponent, 1 AS K, 0 AS D FROM Scores "
                        "s WHERE %1 AND s.Killer = ? AND s.Victim <> ? UNION ALL SELECT s.Killer, "
                        "0, 1 FROM Scores s WHERE %1 AND s.Victim = ? AND s.Killer <> ?) x JOIN "
                        "Players p ON p.Record = x.Opponent %2 GROUP BY x.Opponent, p.Player, "
                        "n.Name "
                        "ORDER BY SUM(x.K) + SUM(x.D) DESC, x.Opponent LIMIT 10")
             .arg(kill, shownName(QStringLiteral("x.Opponent"), QStringLiteral("n"))),
         {id, id, id, id},
         {"id", "player", "name", "kills", "deaths"}},
    };
    for (const auto &[key, sql, values, keys] : parts) {
        const Result<QJsonArray> part = playerPart(sql, values, keys);
        if (!part)
            return part.error();
        page.insert(QLatin1String(key), *part);
    }
    const Result<QJsonObject> record = playerRecord(m_db, id);
    if (!record)
        return record.error();
    for (auto it = record->constBegin(); it != record->constEnd(); ++it)
        page.insert(it.key(), it.value());
    const Result<QJsonObject> held = ::awards(m_db);
    if (!held)
        return held.error();
    page.insert(QStringLiteral("awards"), awardsOf(*held, id));
    return page;
}

Result<QJsonArray> StatsQueries::weapons() const
{
    return playerPart(QStringLiteral("SELECT w.Weapon, sw.Kills, sw.Headshots, CASE WHEN "
                                     "sw.Kills > 0 THEN 100.0 * sw.Headshots / sw.Kills END, "
                                     "sw.Damage FROM Stats_Weapons sw JOIN Weapons w ON w.Record "
                                     "= sw.Weapon WHERE sw.Player = 0 ORDER BY sw.Kills DESC, "
                                     "sw.Damage DESC, w.Weapon LIMIT 100"),
                      {}, {"weapon", "kills", "headshots", "headshot_pct", "damage"});
}

Result<QJsonArray> StatsQueries::maps() const
{
    return playerPart(QStringLiteral("SELECT m.Map, COUNT(gm.Game), MAX(g.Game_Start_Date_Time) "
                                     "FROM Maps m JOIN Games_Maps gm ON gm.Map = m.Record JOIN "
                                     "Games g ON g.Record = gm.Game GROUP BY m.Map ORDER BY 2 "
                                     "DESC, 1 LIMIT 100"),
                      {}, {"map", "games", "last_played"});
}

Result<QJsonArray> StatsQueries::servers() const
{
    return playerPart(QStringLiteral("SELECT s.Record, s.Server_Name, s.Server_IP, s.Server_Port, "
                                     "s.Packet_Number, s.Date_Time, (SELECT COUNT(*) FROM "
                                     "Servers_Games sg WHERE sg.Server = s.Record) FROM Servers s "
                                     "ORDER BY s.Record LIMIT 100"),
                      {}, {"id", "name", "address", "port", "datagrams", "last_datagram", "games"});
}

namespace {

const QString GameColumns = QStringLiteral(
    "SELECT g.Record, m.Map, g.Patch_Name, sv.Record, COALESCE(NULLIF(sv.Server_Name, ''), "
    "sv.Server_IP || ':' || CAST(sv.Server_Port AS VARCHAR(8))), g.Game_Start_Date_Time, "
    "g.Game_End_Date_Time FROM Games g LEFT JOIN Games_Maps gm ON gm.Game = g.Record LEFT JOIN "
    "Maps m ON m.Record = gm.Map LEFT JOIN Servers_Games sg ON sg.Game = g.Record LEFT JOIN "
    "Servers sv ON sv.Record = sg.Server ");
const QStringList GameKeys = {"game", "map", "mod", "server", "server_name", "start", "end"};

// A player's scoreboard line before his figures: id, Players value and name first in `row`.
QJsonObject emptyLine(const Row &row)
{
    return {{"id", row.at(0).toLongLong()},
            {"player", row.at(1).toString()},
            {"name", row.at(2).toString()},
            {"kills", 0},
            {"deaths", 0},
            {"headshots", 0},
            {"damage", 0},
            {"teamkills", 0},
            {"suicides", 0}};
}

} // namespace

Result<QJsonArray> StatsQueries::games(const PageRequest &request) const
{
    return playerPart(
        GameColumns +
            QStringLiteral("ORDER BY g.Game_Start_Date_Time DESC, g.Record DESC LIMIT ? OFFSET ?"),
        {request.pageSize, qint64(request.page - 1) * request.pageSize}, GameKeys);
}

Result<QJsonObject> StatsQueries::game(qint64 id) const
{
    const Result<QList<Row>> found =
        selectRows(m_db, GameColumns + QStringLiteral("WHERE g.Record = ?"), {id});
    if (!found)
        return found.error();
    if (found->isEmpty())
        return QJsonObject();
    QJsonObject page = objects(*found, GameKeys).first().toObject();

    // The players in the order they appeared, each under the last team he played for.
    const Result<QList<Row>> players = selectRows(
        m_db,
        QStringLiteral("SELECT gpt.Player, p.Player, COALESCE(n.Name, p.Player), t.Team FROM "
                       "Games_Players_Teams gpt JOIN Players p ON p.Record = gpt.Player JOIN "
                       "Teams t ON t.Record = gpt.Team %1 WHERE gpt.Game = ? ORDER BY gpt.Record "
                       "LIMIT 500")
            .arg(shownName(QStringLiteral("gpt.Player"), QStringLiteral("n"))),
        {id});
    if (!players)
        return players.error();
    // Every kill, death and attack the standings writer placed in the game.
    const Result<QList<Row>> lines = selectRows(
        m_db,
        QStringLiteral("SELECT gp.Player, p.Player, COALESCE(n.Name, p.Player), gp.Kills, "
                       "gp.Deaths, gp.Headshots, gp.Damage, gp.Teamkills, gp.Suicides, "
                       "gp.Extras, gp.Attacks FROM Stats_Games_Players gp JOIN Players p ON "
                       "p.Record = gp.Player %1 WHERE gp.Game = ? LIMIT 2000")
            .arg(shownName(QStringLiteral("gp.Player"), QStringLiteral("n"))),
        {id});
    if (!lines)
        return lines.error();
    QList<qint64> order;
    QHash<qint64, QJsonObject> board;
    for (const Row &row : *players) {
        const qint64 player = row.at(0).toLongLong();
        QJsonObject &line = board[player];
        if (line.isEmpty()) {
            order << player;
            line = emptyLine(row);
        }
        const QString team = row.at(3).toString();
        if (team.compare(QLatin1String("Unassigned"), Qt::CaseInsensitive) != 0)
            line.insert(QStringLiteral("team"), team);
    }
    // Headshots and damage only where the game's server logs them: else they are unknown.
    bool headshotsKnown = false, damageKnown = false;
    for (const Row &row : *lines) {
        headshotsKnown = headshotsKnown || row.at(9).toLongLong() > 0;
        damageKnown = damageKnown || row.at(10).toLongLong() > 0;
    }
    for (const Row &row : *lines) {
        const qint64 player = row.at(0).toLongLong();
        if (!board.contains(player))
            order << player;
        QJsonObject &line = board[player];
        if (line.isEmpty())
            line = emptyLine(row);
        const char *keys[] = {"kills", "deaths", "headshots", "damage", "teamkills", "suicides"};
        for (int i = 0; i < 6; ++i)
            line.insert(QLatin1String(keys[i]), row.at(3 + i).toLongLong());
    }
    for (const qint64 player : std::as_const(order)) {
        if (!headshotsKnown)
            board[player].insert(QStringLiteral("headshots"), QJsonValue::Null);
        if (!damageKnown)
            board[player].insert(QStringLiteral("damage"), QJsonValue::Null);
    }
    std::stable_sort(order.begin(), order.end(), [&](qint64 a, qint64 b) {
        return board[a].value(QLatin1String("kills")).toInteger() >
               board[b].value(QLatin1String("kills")).toInteger();
    });
    QJsonArray scoreboard;
    for (const qint64 player : std::as_const(order))
        scoreboard.append(board.value(player));
    page.insert(QStringLiteral("scoreboard"), scoreboard);
    const Result<QJsonArray> results = playerPart(
        QStringLiteral("SELECT Kind, Team, Result, Score, Date_Time FROM Ledgerwell_Results "
                       "WHERE Game = ? ORDER BY Record LIMIT 200"),
        {id}, {"kind", "team", "result", "score", "date"});
    if (!results)
        return results.error();
    page.insert(QStringLiteral("results"), *results);
    const Result<MatchInput> match = readMatch(m_db, id, page);
    if (!match)
        return match.error();
    page.insert(QStringLiteral("match"), matchFigures(*match));
    return page;
}

Result<QJsonArray> StatsQueries::live() const
{
    return playerPart(
        QStringLiteral("SELECT s.Record, t.Type, s.Killer, kp.Player, COALESCE(kn.Name, "
                       "kp.Player), s.Victim, vp.Player, COALESCE(vn.Name, vp.Player), w.Weapon, "
                       "k.Headshot, k.Game FROM Scores s JOIN Types t ON t.Record = s.Type LEFT "
                       "JOIN Ledgerwell_Kills k ON k.Score = s.Record LEFT JOIN Players kp ON "
                       "kp.Record = s.Killer LEFT JOIN Players vp ON vp.Record = s.Victim LEFT "
                       "JOIN Weapons w ON w.Record = s.Weapon %1 %2 WHERE t.Type IN ('kill', "
                       "'teamkill', 'suicide') ORDER BY s.Record DESC LIMIT 30")
            .arg(shownName(QStringLiteral("s.Killer"), QStringLiteral("kn")),
                 shownName(QStringLiteral("s.Victim"), QStringLiteral("vn"))),
        {},
        {"event", "type", "killer_id", "killer", "killer_name", "victim_id", "victim",
         "victim_name", "weapon", "headshot", "game"});
}
