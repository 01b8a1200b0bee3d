// The awards page: the best of the last day played and of all time.

#include "Html.h"
#include "Pages.h"

namespace {

QString awardTable(const QJsonArray &awards, int db, const QString &empty)
{
    return table({field(QStringLiteral("Award"), QStringLiteral("title"), false),
                  playerColumn(db, QStringLiteral("Player")),
                  {QStringLiteral("Value"),
                   [](const QJsonObject &row) {
                       const QString weapon = row.value(QLatin1String("weapon")).toString();
                       return shown(row.value(QLatin1String("value"))) +
                              (weapon.isEmpty() ? QString()
                                                : QStringLiteral(" (%1)").arg(escaped(weapon)));
                   },
                   true,
                   {}}},
                 awards, empty);
}

} // namespace

QString awardsPage(const QJsonObject &awards, int db)
{
    const QJsonValue day = awards.value(QLatin1String("day"));
    return QStringLiteral("<h1>Awards</h1><section><h2>Of the day: %1</h2>%2</section>"
                          "<section><h2>Of all time</h2>%3</section><p class=\"explain\">K/D "
                          "counts from 20 kills and deaths (10 in a day), headshot % from 20 "
                          "kills whose headshot the server logs, damage per round from 20 "
                          "rounds.</p>")
        .arg(shown(day),
             awardTable(awards.value(QLatin1String("daily")).toArray(), db,
                        QStringLiteral("Nobody has played yet.")),
             awardTable(awards.value(QLatin1String("all_time")).toArray(), db,
                        QStringLiteral("Nobody has played yet.")));
}
