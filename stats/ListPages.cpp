#include "Html.h"
#include "Pages.h"

QString weaponsPage(const QJsonArray &weapons)
{
    return QStringLiteral("<h1>Weapons</h1>") +
           table({field(QStringLiteral("Weapon"), QStringLiteral("weapon"), false),
                  field(QStringLiteral("Kills"), QStringLiteral("kills")),
                  field(QStringLiteral("Headshots"), QStringLiteral("headshots")),
                  field(QStringLiteral("HS %"), QStringLiteral("headshot_pct")),
                  field(QStringLiteral("Damage"), QStringLiteral("damage"))},
                 weapons, QStringLiteral("No weapons yet."));
}

QString mapsPage(const QJsonArray &maps)
{
    return QStringLiteral("<h1>Maps</h1>") +
           table({field(QStringLiteral("Map"), QStringLiteral("map"), false),
                  field(QStringLiteral("Games"), QStringLiteral("games")),
                  field(QStringLiteral("Last played"), QStringLiteral("last_played"), false)},
                 maps, QStringLiteral("No maps yet."));
}

QString serversPage(const QJsonArray &servers, int db)
{
    return QStringLiteral("<h1>Servers</h1>") +
           table({{QStringLiteral("Server"),
                   [db](const QJsonObject &row) {
                       const QString name = row.value(QLatin1String("name")).toString();
                       return anchor(
                           href(QStringLiteral("/"), {{QStringLiteral("db"), QString::number(db)},
                                                      {QStringLiteral("scope"),
                                                       QStringLiteral("server:") +
                                                           shown(row.value(QLatin1String("id")))}}),
                           escaped(name.isEmpty() ? QStringLiteral("(no name)") : name));
                   },
                   false,
                   {}},
                  {QStringLiteral("Address"),
                   [](const QJsonObject &row) {
                       return shown(row.value(QLatin1String("address"))) + QLatin1Char(':') +
                              shown(row.value(QLatin1String("port")));
                   },
                   false,
                   {}},
                  field(QStringLiteral("Games"), QStringLiteral("games")),
                  field(QStringLiteral("Datagrams"), QStringLiteral("datagrams")),
                  field(QStringLiteral("Last datagram"), QStringLiteral("last_datagram"), false)},
                 servers, QStringLiteral("No servers yet."));
}

QString gamesPage(const QJsonArray &games, int db, int page, int pageSize)
{
    QString body = QStringLiteral("<h1>Games</h1>") +
                   table({gameColumn(db, QStringLiteral("Started")),
                          field(QStringLiteral("Map"), QStringLiteral("map"), false),
                          field(QStringLiteral("Game"), QStringLiteral("mod"), false),
                          field(QStringLiteral("Server"), QStringLiteral("server_name"), false),
                          field(QStringLiteral("Ended"), QStringLiteral("end"), false)},
                         games, QStringLiteral("No games yet."));
    body += QStringLiteral("<nav class=\"pages\">");
    const auto pageUrl = [db](int number) {
        return href(QStringLiteral("/games"), {{QStringLiteral("db"), QString::number(db)},
                                               {QStringLiteral("page"), QString::number(number)}});
    };
    if (page > 1)
        body += anchor(pageUrl(page - 1), QStringLiteral("← Newer"));
    body += QStringLiteral(" <span>Page %1</span> ").arg(page);
    if (games.size() == pageSize)
        body += anchor(pageUrl(page + 1), QStringLiteral("Older →"));
    return body + QStringLiteral("</nav>");
}

QString livePage(const QJsonArray &events, int db)
{
    const auto who = [db](const QJsonObject &row, const char *id, const char *name) {
        // A kill by the world (CS:GO's bomb) has no killer.
        if (row.value(QLatin1String(id)).toInteger() <= 0)
            return QStringLiteral("(the world)");
        return anchor(playerUrl(db, row.value(QLatin1String(id))),
                      escaped(row.value(QLatin1String(name)).toString()));
    };
    return QStringLiteral("<h1>Last events</h1><p class=\"sub\">This page reloads every ten "
                          "seconds.</p>") +
           table({{QStringLiteral("Game"),
                   [db](const QJsonObject &row) {
                       const QJsonValue game = row.value(QLatin1String("game"));
                       return game.isNull() ? QStringLiteral("–")
                                            : anchor(gameUrl(db, game), shown(game));
                   },
                   false,
                   {}},
                  {QStringLiteral("Killer"),
                   [who](const QJsonObject &row) { return who(row, "killer_id", "killer_name"); },
                   false,
                   {}},
                  {QStringLiteral("Victim"),
                   [who](const QJsonObject &row) {
                       return row.value(QLatin1String("type")).toString() ==
                                      QLatin1String("suicide")
                                  ? QStringLiteral("(suicide)")
                                  : who(row, "victim_id", "victim_name");
                   },
                   false,
                   {}},
                  {QStringLiteral("Weapon"),
                   [](const QJsonObject &row) {
                       return shown(row.value(QLatin1String("weapon"))) +
                              (row.value(QLatin1String("headshot")).toInteger() == 1
                                   ? QStringLiteral(" <span class=\"tag\">headshot</span>")
                                   : QString());
                   },
                   false,
                   {}},
                  field(QStringLiteral("Kind"), QStringLiteral("type"), false)},
                 events, QStringLiteral("Nothing has happened yet."));
}
