#include "Html.h"
#include "Pages.h"
#include "SvgChart.h"

#include <QJsonArray>

namespace {

QString section(const QString &title, const QString &content)
{
    return QStringLiteral("<section><h2>%1</h2>%2</section>").arg(escaped(title), content);
}

QString scopeName(const QString &scope)
{
    if (scope.isEmpty())
        return QStringLiteral("Everything");
    if (scope.startsWith(QLatin1String("server:")))
        return QStringLiteral("Server ") + scope.mid(7);
    return QStringLiteral("Game ") + scope.mid(4);
}

} // namespace

QString playerUrl(int db, const QJsonValue &id)
{
    return href(QStringLiteral("/player"),
                {{QStringLiteral("db"), QString::number(db)}, {QStringLiteral("id"), shown(id)}});
}

QString gameUrl(int db, const QJsonValue &id)
{
    return href(QStringLiteral("/game"),
                {{QStringLiteral("db"), QString::number(db)}, {QStringLiteral("id"), shown(id)}});
}

Column playerColumn(int db, const QString &title)
{
    return {title,
            [db](const QJsonObject &row) {
                return anchor(playerUrl(db, row.value(QLatin1String("id"))),
                              escaped(row.value(QLatin1String("name")).toString()));
            },
            false,
            {}};
}

Column gameColumn(int db, const QString &title)
{
    return {title,
            [db](const QJsonObject &row) {
                return anchor(gameUrl(db, row.value(QLatin1String("game"))),
                              shown(row.value(QLatin1String("start"))));
            },
            false,
            {}};
}

QString playerPage(const QJsonObject &player, int db)
{
    QString body = QStringLiteral("<h1>%1</h1><p class=\"sub\">%2</p>")
                       .arg(escaped(player.value(QLatin1String("name")).toString()),
                            escaped(player.value(QLatin1String("player")).toString()));
    QStringList names;
    for (const QJsonValue &name : player.value(QLatin1String("names")).toArray())
        names << escaped(name.toObject().value(QLatin1String("name")).toString());
    QStringList teams;
    for (const QJsonValue &team : player.value(QLatin1String("teams")).toArray())
        teams << QStringLiteral("%1 (%2)").arg(
            escaped(team.toObject().value(QLatin1String("team")).toString()),
            shown(team.toObject().value(QLatin1String("games"))));
    body += QStringLiteral("<p><strong>Names:</strong> %1<br><strong>Teams:</strong> %2</p>")
                .arg(names.isEmpty() ? QStringLiteral("–") : names.join(QStringLiteral(", ")),
                     teams.isEmpty() ? QStringLiteral("–") : teams.join(QStringLiteral(", ")));

    const QList<Column> standings = {
        {QStringLiteral("Where"),
         [db](const QJsonObject &row) {
             const QString scope = row.value(QLatin1String("scope")).toString();
             return anchor(href(QStringLiteral("/"), {{QStringLiteral("db"), QString::number(db)},
                                                      {QStringLiteral("scope"), scope}}),
                           escaped(scopeName(scope)));
         },
         false,
         {}},
        field(QStringLiteral("Rating"), QStringLiteral("rating")),
        field(QStringLiteral("Kills"), QStringLiteral("kills")),
        field(QStringLiteral("Deaths"), QStringLiteral("deaths")),
        field(QStringLiteral("K/D"), QStringLiteral("kd")),
        field(QStringLiteral("HS %"), QStringLiteral("headshot_pct")),
        field(QStringLiteral("Assists"), QStringLiteral("assists")),
        field(QStringLiteral("Dmg/round"), QStringLiteral("damage_per_round")),
        {QStringLiteral("Time"),
         [](const QJsonObject &row) {
             return duration(row.value(QLatin1String("seconds")).toInteger());
         },
         true,
         {}},
    };
    body += section(QStringLiteral("Standings"),
                    table(standings, player.value(QLatin1String("standings")).toArray(),
                          QStringLiteral("Not rated yet.")));
    QStringList held;
    for (const QJsonValue &award : player.value(QLatin1String("awards")).toArray())
        held << anchor(
            href(QStringLiteral("/awards"), {{QStringLiteral("db"), QString::number(db)}}),
            escaped(award[QLatin1String("title")].toString()));
    body += QStringLiteral("<p><strong>First seen:</strong> %1 · <strong>last seen:</strong> %2 · "
                           "<strong>games:</strong> %3 · <strong>sessions:</strong> %4 · "
                           "<strong>longest run of wins:</strong> %5<br><strong>Awards:</strong> "
                           "%6</p>")
                .arg(shown(player.value(QLatin1String("first_seen"))),
                     shown(player.value(QLatin1String("last_seen"))),
                     shown(player.value(QLatin1String("games_played"))),
                     shown(player.value(QLatin1String("sessions"))),
                     shown(player.value(QLatin1String("best_win_streak"))),
                     held.isEmpty() ? QStringLiteral("–") : held.join(QStringLiteral(", ")));
    body += section(QStringLiteral("Rating over time"),
                    ratingChart(player.value(QLatin1String("history")).toArray()) +
                        QStringLiteral("<p class=\"legend\"><span class=\"key rating\"></span>"
                                       "rating <span class=\"key mu\"></span>most likely "
                                       "skill</p>"));
    body += section(QStringLiteral("Weapons"),
                    table({field(QStringLiteral("Weapon"), QStringLiteral("weapon"), false),
                           field(QStringLiteral("Kills"), QStringLiteral("kills")),
                           field(QStringLiteral("Headshots"), QStringLiteral("headshots")),
                           field(QStringLiteral("Damage"), QStringLiteral("damage")),
                           field(QStringLiteral("Deaths by it"), QStringLiteral("deaths"))},
                          player.value(QLatin1String("weapons")).toArray(),
                          QStringLiteral("No weapon used yet.")));
    body += section(player.value(QLatin1String("activity_by")).toString() == QLatin1String("month")
                        ? QStringLiteral("Games per month")
                        : QStringLiteral("Games per day"),
                    activityChart(player.value(QLatin1String("activity")).toArray()));
    const QJsonArray accuracy = player.value(QLatin1String("accuracy")).toArray();
    if (!accuracy.isEmpty())
        body += section(QStringLiteral("Accuracy"),
                        table({field(QStringLiteral("Weapon"), QStringLiteral("weapon"), false),
                               field(QStringLiteral("Shots"), QStringLiteral("shots")),
                               field(QStringLiteral("Hits"), QStringLiteral("hits")),
                               field(QStringLiteral("Hit %"), QStringLiteral("accuracy_pct"))},
                              accuracy, QString()));
    // Where his hits landed: every weapon first, then each weapon.
    const QJsonArray groups = player.value(QLatin1String("hit_groups")).toArray();
    if (!groups.isEmpty()) {
        QList<Column> columns{{QStringLiteral("Weapon"),
                               [](const QJsonObject &row) {
                                   return row[QLatin1String("weapon")].isNull()
                                              ? QStringLiteral("<strong>All</strong>")
                                              : escaped(row[QLatin1String("weapon")].toString());
                               },
                               false,
                               {}},
                              field(QStringLiteral("Hits"), QStringLiteral("hits")),
                              field(QStringLiteral("Head %"), QStringLiteral("head_pct"))};
        for (const char *part : {"head", "neck", "chest", "stomach", "arms", "legs", "other"}) {
            QString title = QLatin1String(part);
            title[0] = title[0].toUpper();
            columns << field(title, QLatin1String(part));
        }
        body += section(QStringLiteral("Hit groups"), table(columns, groups, QString()));
    }
    body += section(QStringLiteral("Maps"),
                    table({field(QStringLiteral("Map"), QStringLiteral("map"), false),
                           field(QStringLiteral("Games"), QStringLiteral("games")),
                           field(QStringLiteral("Win %"), QStringLiteral("win_pct")),
                           field(QStringLiteral("Kills"), QStringLiteral("kills")),
                           field(QStringLiteral("Deaths"), QStringLiteral("deaths")),
                           field(QStringLiteral("K/D"), QStringLiteral("kd"))},
                          player.value(QLatin1String("map_figures")).toArray(),
                          QStringLiteral("No maps yet.")));
    body += section(QStringLiteral("Recent games"),
                    table({gameColumn(db, QStringLiteral("Game")),
                           field(QStringLiteral("Map"), QStringLiteral("map"), false),
                           field(QStringLiteral("Kills"), QStringLiteral("kills")),
                           field(QStringLiteral("Deaths"), QStringLiteral("deaths"))},
                          player.value(QLatin1String("games")).toArray(),
                          QStringLiteral("No games yet.")));
    body += section(QStringLiteral("Most met opponents"),
                    table({playerColumn(db, QStringLiteral("Opponent")),
                           field(QStringLiteral("Kills on him"), QStringLiteral("kills")),
                           field(QStringLiteral("Deaths by him"), QStringLiteral("deaths")),
                           {QStringLiteral("Side by side"),
                            [db, me = player.value(QLatin1String("id"))](const QJsonObject &row) {
                                return anchor(href(QStringLiteral("/compare"),
                                                   {{QStringLiteral("db"), QString::number(db)},
                                                    {QStringLiteral("id"), shown(me)},
                                                    {QStringLiteral("vs"),
                                                     shown(row.value(QLatin1String("id")))}}),
                                              QStringLiteral("compare"));
                            },
                            false,
                            {}}},
                          player.value(QLatin1String("opponents")).toArray(),
                          QStringLiteral("No opponents yet.")));
    return body;
}
