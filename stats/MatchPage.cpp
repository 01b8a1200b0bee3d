// A game's page: its score, its rounds and a table per team, from the game's JSON.

#include "Html.h"
#include "Pages.h"

namespace {

// A round's ending as a symbol, and its words for those who cannot see it.
QString symbol(const QString &how)
{
    static const QHash<QString, QString> symbols = {
        {QStringLiteral("elimination"), QStringLiteral("☠")},
        {QStringLiteral("bomb"), QStringLiteral("✹")},
        {QStringLiteral("defuse"), QStringLiteral("✂")},
        {QStringLiteral("time"), QStringLiteral("◔")},
        {QStringLiteral("hostages"), QStringLiteral("⛑")},
        {QStringLiteral("escape"), QStringLiteral("➜")},
        {QStringLiteral("objective"), QStringLiteral("⚑")},
        {QStringLiteral("draw"), QStringLiteral("=")}};
    return symbols.value(how, QStringLiteral("•"));
}

QString teamClass(const QString &team)
{
    const QString lower = team.toLower();
    if (lower == QLatin1String("ct") || lower == QLatin1String("blue"))
        return QStringLiteral("side-a");
    if (lower.startsWith(QLatin1String("terrorist")) || lower == QLatin1String("red"))
        return QStringLiteral("side-b");
    return QStringLiteral("side-x");
}

QString scoreLine(const QJsonArray &score)
{
    if (score.isEmpty())
        return {};
    QStringList parts;
    for (const QJsonValue &team : score)
        parts << QStringLiteral("<span class=\"%1\">%2 <strong>%3</strong></span>")
                     .arg(teamClass(team[QLatin1String("team")].toString()),
                          escaped(team[QLatin1String("team")].toString()),
                          shown(team[QLatin1String("rounds")]));
    return QStringLiteral("<p class=\"score\">%1</p>").arg(parts.join(QStringLiteral(" : ")));
}

QString roundStrip(const QJsonArray &rounds)
{
    if (rounds.isEmpty())
        return {};
    QString strip = QStringLiteral("<ol class=\"strip\">");
    QStringList endings; // the legend: the endings this game had, in their order
    for (const QJsonValue &round : rounds) {
        const QString winner = round[QLatin1String("winner")].toString();
        const QString how = round[QLatin1String("how")].toString();
        if (!endings.contains(how))
            endings << how;
        if (round[QLatin1String("swap")].toBool())
            strip += QStringLiteral("<li class=\"swap\">sides swapped</li>");
        const QString words =
            QStringLiteral("Round %1: %2 won by %3")
                .arg(shown(round[QLatin1String("number")]), escaped(winner), escaped(how));
        strip +=
            QStringLiteral("<li class=\"%1\" title=\"%2\"><b>%3</b><span aria-hidden=\"true\">"
                           "%4</span><span class=\"sr\">%2</span></li>")
                .arg(teamClass(winner), words, shown(round[QLatin1String("number")]), symbol(how));
    }
    strip += QStringLiteral("</ol><p class=\"legend\">");
    QStringList legend;
    for (const QString &how : std::as_const(endings))
        legend << symbol(how) + QLatin1Char(' ') + escaped(how);
    return strip + legend.join(QStringLiteral(" · ")) + QStringLiteral("</p>");
}

QList<Column> teamColumns(int db, const QString &kind)
{
    QList<Column> columns{playerColumn(db, QStringLiteral("Player"))};
    const auto add = [&](const char *title, const char *key) {
        columns << field(QString::fromUtf8(title), QLatin1String(key));
    };
    if (kind == QLatin1String("tf2")) {
        columns << Column{QStringLiteral("Class"),
                          [](const QJsonObject &row) {
                              QStringList classes;
                              for (const QJsonValue &role : row[QLatin1String("classes")].toArray())
                                  classes << escaped(role.toString());
                              return classes.join(QStringLiteral(", "));
                          },
                          false,
                          {}};
        for (const auto &[title, key] :
             QList<std::pair<const char *, const char *>>{{"K", "kills"},
                                                          {"A", "assists"},
                                                          {"D", "deaths"},
                                                          {"Dmg", "damage"},
                                                          {"DPM", "dpm"},
                                                          {"Heals", "heals"},
                                                          {"Ubers", "ubers"},
                                                          {"Drops", "drops"},
                                                          {"Medic deaths", "medic_deaths"},
                                                          {"Caps", "captures"}})
            add(title, key);
        return columns;
    }
    for (const auto &[title, key] :
         QList<std::pair<const char *, const char *>>{{"K", "kills"},
                                                      {"D", "deaths"},
                                                      {"A", "assists"},
                                                      {"+/−", "plus_minus"},
                                                      {"ADR", "adr"},
                                                      {"HS %", "headshot_pct"},
                                                      {"KAST %", "kast"},
                                                      {"First kills", "first_kills"},
                                                      {"2k", "k2"},
                                                      {"3k", "k3"},
                                                      {"4k", "k4"},
                                                      {"5k", "k5"},
                                                      {"MVP", "mvps"}})
        add(title, key);
    return columns;
}

QString teamTotals(const QJsonObject &totals, const QString &kind)
{
    QStringList parts;
    for (const auto &[key, label] :
         QList<std::pair<const char *, const char *>>{{"kills", "kills"},
                                                      {"deaths", "deaths"},
                                                      {"assists", "assists"},
                                                      {"damage", "damage"},
                                                      {"heals", "heals"},
                                                      {"ubers", "ubers"},
                                                      {"drops", "drops"},
                                                      {"captures", "captures"}}) {
        if (kind != QLatin1String("tf2") &&
            !QByteArray("kills deaths assists damage").contains(key))
            continue;
        parts << shown(totals.value(QLatin1String(key))) + QLatin1Char(' ') + QLatin1String(label);
    }
    return QStringLiteral("<p class=\"sub\">Team: %1</p>").arg(parts.join(QStringLiteral(" · ")));
}

// The standings writer's totals, for a game whose own rows cannot be told apart.
QString scoreboard(const QJsonObject &game, int db)
{
    return table({playerColumn(db, QStringLiteral("Player")),
                  field(QStringLiteral("Team"), QStringLiteral("team"), false),
                  field(QStringLiteral("Kills"), QStringLiteral("kills")),
                  field(QStringLiteral("Deaths"), QStringLiteral("deaths")),
                  field(QStringLiteral("Headshots"), QStringLiteral("headshots")),
                  field(QStringLiteral("Damage"), QStringLiteral("damage"))},
                 game.value(QLatin1String("scoreboard")).toArray(),
                 QStringLiteral("Nobody played."));
}

} // namespace

QString gamePage(const QJsonObject &game, int db)
{
    const QString map = game.value(QLatin1String("map")).toString();
    const QJsonObject match = game.value(QLatin1String("match")).toObject();
    const QString kind = match.value(QLatin1String("kind")).toString();
    QString body = QStringLiteral("<h1>%1</h1><p class=\"sub\">%2 · %3 · %4 – %5</p>")
                       .arg(escaped(map.isEmpty() ? QStringLiteral("Unknown map") : map),
                            shown(game.value(QLatin1String("mod"))),
                            shown(game.value(QLatin1String("server_name"))),
                            shown(game.value(QLatin1String("start"))),
                            shown(game.value(QLatin1String("end"))));
    body += scoreLine(match.value(QLatin1String("score")).toArray());
    body += roundStrip(match.value(QLatin1String("rounds")).toArray());
    if (!match.value(QLatin1String("events_known")).toBool()) {
        body += scoreboard(game, db);
    } else {
        const QJsonArray teams = match.value(QLatin1String("teams")).toArray();
        for (const QJsonValue &team : teams) {
            const QString name = team[QLatin1String("team")].toString();
            body += QStringLiteral("<section><h2 class=\"%1\">%2</h2>%3%4</section>")
                        .arg(teamClass(name),
                             name.isEmpty() ? QStringLiteral("No team") : escaped(name),
                             table(teamColumns(db, kind), team[QLatin1String("players")].toArray(),
                                   QStringLiteral("Nobody played.")),
                             teamTotals(team[QLatin1String("totals")].toObject(), kind));
        }
        if (teams.isEmpty())
            body += QStringLiteral("<p class=\"empty\">Nobody played.</p>");
    }
    const QJsonArray warmup = match.value(QLatin1String("warmup")).toArray();
    if (!warmup.isEmpty())
        body += QStringLiteral("<details><summary>Warm-up only: %1 players</summary>%2</details>")
                    .arg(warmup.size())
                    .arg(table({playerColumn(db, QStringLiteral("Player")),
                                field(QStringLiteral("Kills"), QStringLiteral("kills")),
                                field(QStringLiteral("Deaths"), QStringLiteral("deaths"))},
                               warmup, QString()));
    body += QStringLiteral("<details><summary>Results as logged</summary>") +
            table({field(QStringLiteral("Kind"), QStringLiteral("kind"), false),
                   field(QStringLiteral("Winner"), QStringLiteral("team"), false),
                   field(QStringLiteral("How"), QStringLiteral("result"), false),
                   field(QStringLiteral("Score"), QStringLiteral("score"), false),
                   field(QStringLiteral("When"), QStringLiteral("date"), false)},
                  game.value(QLatin1String("results")).toArray(),
                  QStringLiteral("No rounds recorded.")) +
            QStringLiteral("</details>");
    return body;
}
