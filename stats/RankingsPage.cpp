#include "Html.h"
#include "Pages.h"

namespace {

QString rankingsUrl(const RankingsView &view, const QString &sort, int page, const QString &scope)
{
    return href(QStringLiteral("/"),
                {{QStringLiteral("db"), QString::number(view.db)},
                 {QStringLiteral("scope"), scope},
                 {QStringLiteral("sort"), sort},
                 {QStringLiteral("q"), view.request.search},
                 {QStringLiteral("page"), page > 1 ? QString::number(page) : QString()}});
}

QString scopeChips(const RankingsView &view)
{
    QString chips = QStringLiteral("<p class=\"chips\">");
    const auto chip = [&](const QString &scope, const QString &label) {
        chips += QStringLiteral("<a href=\"%1\"%2>%3</a> ")
                     .arg(rankingsUrl(view, view.request.sort, 1, scope),
                          scope == view.request.scope ? QStringLiteral(" aria-current=\"page\"")
                                                      : QString(),
                          escaped(label));
    };
    chip(QString(), QStringLiteral("Everything"));
    for (const QJsonValue &value : view.scopes) {
        const QJsonObject scope = value.toObject();
        const QString key = scope.value(QLatin1String("scope")).toString();
        const bool server = key.startsWith(QLatin1String("server:"));
        QString name = scope.value(QLatin1String("name")).toString();
        if (name.isEmpty())
            name = key.section(QLatin1Char(':'), 1);
        chip(key, (server ? QStringLiteral("Server ") : QStringLiteral("Game ")) + name);
    }
    return chips + QStringLiteral("</p>");
}

QString databaseChips(const RankingsView &view)
{
    if (view.databases.size() < 2)
        return {};
    QString chips = QStringLiteral("<p class=\"chips\">");
    for (int i = 0; i < view.databases.size(); ++i)
        chips += QStringLiteral("<a href=\"%1\"%2>%3</a> ")
                     .arg(href(QStringLiteral("/"), {{QStringLiteral("db"), QString::number(i)}}),
                          i == view.db ? QStringLiteral(" aria-current=\"page\"") : QString(),
                          escaped(view.databases.at(i)));
    return chips + QStringLiteral("</p>");
}

} // namespace

QString rankingsPage(const RankingsView &view)
{
    const QString sort = view.request.sort;
    const auto sortable = [&](Column column, const QString &key) {
        column.headingUrl = rankingsUrl(view, key, 1, view.request.scope);
        if (key == sort)
            column.title += QStringLiteral(" ▾");
        return column;
    };
    const int db = view.db;
    const QList<Column> columns = {
        field(QStringLiteral("#"), QStringLiteral("rank")),
        {QStringLiteral("Player"),
         [db](const QJsonObject &row) {
             return anchor(playerUrl(db, row.value(QLatin1String("id"))),
                           escaped(row.value(QLatin1String("name")).toString())) +
                    QStringLiteral("<small>%1</small>")
                        .arg(escaped(row.value(QLatin1String("player")).toString()));
         },
         false,
         {}},
        sortable(field(QStringLiteral("Rating"), QStringLiteral("rating")),
                 QStringLiteral("rating")),
        sortable(field(QStringLiteral("Kills"), QStringLiteral("kills")), QStringLiteral("kills")),
        sortable(field(QStringLiteral("Deaths"), QStringLiteral("deaths")),
                 QStringLiteral("deaths")),
        sortable(field(QStringLiteral("K/D"), QStringLiteral("kd")), QStringLiteral("kd")),
        sortable(field(QStringLiteral("HS %"), QStringLiteral("headshot_pct")),
                 QStringLiteral("hs")),
        sortable(field(QStringLiteral("Assists"), QStringLiteral("assists")),
                 QStringLiteral("assists")),
        sortable(field(QStringLiteral("Dmg/round"), QStringLiteral("damage_per_round")),
                 QStringLiteral("dpr")),
        sortable({QStringLiteral("Time"),
                  [](const QJsonObject &row) {
                      return duration(row.value(QLatin1String("seconds")).toInteger());
                  },
                  true,
                  {}},
                 QStringLiteral("time")),
    };
    QString body = QStringLiteral("<h1>Rankings</h1>") + databaseChips(view) + scopeChips(view);
    body += QStringLiteral("<form class=\"search\" method=\"get\" action=\"/\">"
                           "<input type=\"hidden\" name=\"db\" value=\"%1\">"
                           "<input type=\"hidden\" name=\"scope\" value=\"%2\">"
                           "<input type=\"hidden\" name=\"sort\" value=\"%3\">"
                           "<input type=\"search\" name=\"q\" value=\"%4\" "
                           "placeholder=\"Name or Steam id\" aria-label=\"Name or Steam id\">"
                           "<button type=\"submit\">Search</button></form>")
                .arg(QString::number(view.db), escaped(view.request.scope), escaped(sort),
                     escaped(view.request.search));
    if (!view.notice.isEmpty())
        body += QStringLiteral("<p class=\"notice\">%1</p>").arg(escaped(view.notice));
    body += table(columns, view.rows, QStringLiteral("No players yet."));
    const int page = view.request.page;
    const qint64 pages =
        std::max<qint64>(1, (view.total + view.request.pageSize - 1) / view.request.pageSize);
    body += QStringLiteral("<nav class=\"pages\">");
    if (page > 1)
        body += anchor(rankingsUrl(view, sort, page - 1, view.request.scope),
                       QStringLiteral("← Previous"));
    body += QStringLiteral(" <span>Page %1 of %2 · %3 players</span> ")
                .arg(page)
                .arg(pages)
                .arg(view.total);
    if (page < pages)
        body +=
            anchor(rankingsUrl(view, sort, page + 1, view.request.scope), QStringLiteral("Next →"));
    body += QStringLiteral("</nav><p class=\"explain\">Rating is a cautious estimate of skill: "
                           "the most likely skill less three times its uncertainty. It rises "
                           "with wins over strong opponents and with the games that make us "
                           "surer of a player, not with kills alone.</p>");
    return body;
}
