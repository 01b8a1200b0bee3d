// Two players side by side, and their record against each other.

#include "Html.h"
#include "Pages.h"

namespace {

QString pairRow(const QString &title, const QString &left, const QString &right)
{
    return QStringLiteral("<tr><th>%1</th><td class=\"num\">%2</td><td class=\"num\">%3</td></tr>")
        .arg(escaped(title), left, right);
}

} // namespace

QString comparisonPage(const QJsonObject &comparison, int db)
{
    const QJsonArray players = comparison.value(QLatin1String("players")).toArray();
    const QJsonObject a = players.at(0).toObject(), b = players.at(1).toObject();
    const QJsonObject versus = comparison.value(QLatin1String("head_to_head")).toObject();
    const auto name = [db](const QJsonObject &player) {
        return anchor(playerUrl(db, player.value(QLatin1String("id"))),
                      escaped(player.value(QLatin1String("name")).toString()));
    };
    QString rows;
    for (const auto &[title, key] :
         QList<std::pair<const char *, const char *>>{{"Rating", "rating"},
                                                      {"Kills", "kills"},
                                                      {"Deaths", "deaths"},
                                                      {"K/D", "kd"},
                                                      {"HS %", "headshot_pct"},
                                                      {"Assists", "assists"},
                                                      {"Damage per round", "damage_per_round"},
                                                      {"Rounds", "rounds"},
                                                      {"Rounds won", "rounds_won"}})
        rows += pairRow(QString::fromUtf8(title), shown(a.value(QLatin1String(key))),
                        shown(b.value(QLatin1String(key))));
    rows += pairRow(QStringLiteral("Time"), duration(a.value(QLatin1String("seconds")).toInteger()),
                    duration(b.value(QLatin1String("seconds")).toInteger()));
    const auto pair = [&versus](const char *key, int side) {
        return shown(versus.value(QLatin1String(key)).toArray().at(side));
    };
    QString record;
    for (const auto &[title, key] : QList<std::pair<const char *, const char *>>{
             {"Kills on the other", "kills_on_other"},
             {"Kills in games together", "kills_in_those_games"},
             {"Deaths in games together", "deaths_in_those_games"}})
        record += pairRow(QLatin1String(title), pair(key, 0), pair(key, 1));
    const QString head = QStringLiteral("<thead><tr><th></th><th class=\"num\">%1</th>"
                                        "<th class=\"num\">%2</th></tr></thead>")
                             .arg(name(a), name(b));
    return QStringLiteral("<h1>%1 and %2</h1><section><h2>Side by side</h2><div class=\"scroll\">"
                          "<table>%3<tbody>%4</tbody></table></div></section><section><h2>Head to "
                          "head</h2><p class=\"sub\">%5 games together</p><div class=\"scroll\">"
                          "<table>%3<tbody>%6</tbody></table></div></section>")
        .arg(escaped(a.value(QLatin1String("name")).toString()),
             escaped(b.value(QLatin1String("name")).toString()), head, rows,
             shown(versus.value(QLatin1String("games_together"))), record);
}
