// Which page or API answer each path gives, with the parameters checked and bounded.

#include "Html.h"
#include "Pages.h"
#include "StatsServer.h"
#include "StyleSheet.h"

#include <QJsonDocument>
#include <QRegularExpression>

namespace {

namespace Code {
constexpr int Ok = 200, BadRequest = 400, NotFound = 404, ServiceUnavailable = 503;
}

constexpr int MaxPageSize = 100;
constexpr int MaxPage = 100000;
constexpr int MaxSearch = 64;

const QByteArray HtmlType = "text/html; charset=utf-8";
const QByteArray JsonType = "application/json";

Reply json(const QJsonValue &value, int status = Code::Ok)
{
    const QJsonDocument document =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return {status, JsonType, document.toJson(QJsonDocument::Compact)};
}

Reply failure(bool api, int status, const QString &text, int db = 0)
{
    if (api)
        return json(QJsonObject{{"error", text}}, status);
    return {status, HtmlType,
            document(QStringLiteral("Statistics"),
                     QStringLiteral("<h1>Sorry</h1><p class=\"notice\">%1</p>").arg(escaped(text)),
                     db, QString())};
}

// A whole number within [low, high]; fallback when absent; nothing when malformed.
std::optional<qint64> number(const QUrlQuery &query, const QString &key, qint64 fallback,
                             qint64 low, qint64 high)
{
    if (!query.hasQueryItem(key) || query.queryItemValue(key).isEmpty())
        return fallback;
    bool ok = false;
    const qint64 value = query.queryItemValue(key).toLongLong(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

// A form field: browsers send a blank as "+".
QString formValue(const QUrlQuery &query, const QString &key)
{
    QString raw = query.queryItemValue(key, QUrl::FullyEncoded);
    raw.replace(QLatin1Char('+'), QLatin1String("%20"));
    return QUrl::fromPercentEncoding(raw.toUtf8());
}

struct Parsed
{
    PageRequest request;
    int db = 0;
    QString error;
};

Parsed parse(const QUrlQuery &query, int sites, bool api)
{
    Parsed parsed;
    const auto db = number(query, QStringLiteral("db"), 0, 0, sites - 1);
    const auto page = number(query, QStringLiteral("page"), 1, 1, MaxPage);
    const auto size =
        number(query, QStringLiteral("size"), api ? MaxPageSize / 2 : 50, 1, MaxPageSize);
    const auto id = number(query, QStringLiteral("id"), 0, 0, std::numeric_limits<qint64>::max());
    const auto other =
        number(query, QStringLiteral("vs"), 0, 0, std::numeric_limits<qint64>::max());
    if (!db || !page || !size || !id || !other) {
        parsed.error = QStringLiteral("db, page, size, id and vs must be whole numbers in range "
                                      "(size at most %1).")
                           .arg(MaxPageSize);
        return parsed;
    }
    parsed.db = int(*db);
    parsed.request.page = int(*page);
    parsed.request.pageSize = int(*size);
    parsed.request.id = *id;
    parsed.request.other = *other;
    const QString sort = formValue(query, QStringLiteral("sort"));
    if (!sort.isEmpty() && !StatsQueries::sortKeys().contains(sort)) {
        parsed.error = QStringLiteral("sort is one of ") +
                       StatsQueries::sortKeys().join(QStringLiteral(", ")) + QLatin1Char('.');
        return parsed;
    }
    parsed.request.sort = sort.isEmpty() ? QStringLiteral("rating") : sort;
    parsed.request.search = formValue(query, QStringLiteral("q")).trimmed().left(MaxSearch);
    const QString scope = formValue(query, QStringLiteral("scope"));
    static const QRegularExpression scopes(
        QStringLiteral("^(server:[0-9]{1,18}|mod:[^\\s]{1,50})?$"));
    if (!scopes.match(scope).hasMatch())
        parsed.error = QStringLiteral("scope is server:NUMBER or mod:NAME.");
    parsed.request.scope = scope;
    return parsed;
}

QString standingsNotice(const WriterStatus::Snapshot &status)
{
    if (!status.error.isEmpty())
        return QStringLiteral("The standings are not being kept up to date: ") + status.error;
    if (!status.caughtUp)
        return QStringLiteral("The standings are still being computed; %1 score rows read so far.")
            .arg(status.scores);
    return {};
}

QJsonObject apiIndex()
{
    return {{"endpoints",
             QJsonArray{"/api/databases", "/api/rankings", "/api/scopes", "/api/player?id=N",
                        "/api/weapons", "/api/maps", "/api/servers", "/api/games", "/api/game?id=N",
                        "/api/live", "/api/awards", "/api/compare?id=N&vs=M"}},
            {"parameters", "db, scope, sort, q, page, size (at most 100), id, vs"}};
}

} // namespace

Reply StatsServer::answer(const QString &rawPath, const QUrlQuery &query) const
{
    const bool api = rawPath.startsWith(QLatin1String("/api"));
    const QString path = api ? rawPath.mid(4) : rawPath;
    if (!api && path == QLatin1String("/style.css"))
        return {Code::Ok, "text/css; charset=utf-8", styleSheet()};
    if (!api && (path == QLatin1String("/favicon.svg") || path == QLatin1String("/favicon.ico")))
        return {Code::Ok, "image/svg+xml", favicon()};
    if (api && (path.isEmpty() || path == QLatin1String("/")))
        return json(apiIndex());

    const Parsed parsed = parse(query, int(m_sites.size()), api);
    if (!parsed.error.isEmpty())
        return failure(api, Code::BadRequest, parsed.error);
    const int db = parsed.db;
    const StatsSite &site = *m_sites.at(std::size_t(db));
    const PageRequest &request = parsed.request;
    const auto unreadable = [&](const ErrorInfo &error) {
        return failure(api, Code::ServiceUnavailable,
                       QStringLiteral("The statistics could not be read: ") + error.description,
                       db);
    };
    const Result<const StatsQueries *> connected = site.queries();
    if (!connected)
        return unreadable(connected.error());
    const StatsQueries &queries = **connected;
    const auto page = [&](const QString &title, const QString &body, const QString &current,
                          int refresh = 0) {
        return Reply{Code::Ok, HtmlType, document(title, body, db, current, refresh)};
    };

    if (api && path == QLatin1String("/databases")) {
        QJsonArray list;
        for (std::size_t i = 0; i < m_sites.size(); ++i) {
            const WriterStatus::Snapshot status = m_sites[i]->status();
            list.append(QJsonObject{{"db", qint64(i)},
                                    {"label", m_sites[i]->label()},
                                    {"caught_up", status.caughtUp},
                                    {"scores_read", status.scores},
                                    {"error", status.error}});
        }
        return json(list);
    }
    if (path == QLatin1String("/") || path == QLatin1String("/rankings")) {
        const Result<PlayerOrder> order = site.rankOrder(queries, request);
        if (!order)
            return unreadable(order.error());
        const Result<QJsonArray> rows = queries.rankings(request, **order);
        if (!rows)
            return unreadable(rows.error());
        if (api)
            return json(*rows);
        RankingsView view{request, db, {}, {}, *rows, 0, standingsNotice(site.status())};
        const Result<QJsonArray> scopes = queries.scopes();
        if (!scopes)
            return unreadable(scopes.error());
        view.total = qint64((*order)->size());
        view.scopes = *scopes;
        if (m_sites.size() > 1) {
            for (const auto &other : m_sites)
                view.databases << other->label();
        }
        return page(QStringLiteral("Rankings"), rankingsPage(view), QStringLiteral("/"));
    }
    if (api && path == QLatin1String("/scopes")) {
        const Result<QJsonArray> scopes = queries.scopes();
        return scopes ? json(*scopes) : unreadable(scopes.error());
    }
    if (path == QLatin1String("/player") || path == QLatin1String("/game")) {
        const bool player = path == QLatin1String("/player");
        const Result<QJsonObject> found =
            player ? queries.player(request.id) : queries.game(request.id);
        if (!found)
            return unreadable(found.error());
        if (found->isEmpty())
            return failure(api, Code::NotFound,
                           player ? QStringLiteral("There is no such player.")
                                  : QStringLiteral("There is no such game."),
                           db);
        if (api)
            return json(*found);
        return player
                   ? page(found->value(QLatin1String("name")).toString(), playerPage(*found, db),
                          QString())
                   : page(QStringLiteral("Game"), gamePage(*found, db), QStringLiteral("/games"));
    }
    if (path == QLatin1String("/awards")) {
        const Result<QJsonObject> found = queries.awards();
        if (!found)
            return unreadable(found.error());
        return api ? json(*found)
                   : page(QStringLiteral("Awards"), awardsPage(*found, db),
                          QStringLiteral("/awards"));
    }
    if (path == QLatin1String("/compare")) {
        const Result<QJsonObject> found = queries.comparison(request.id, request.other);
        if (!found)
            return unreadable(found.error());
        if (found->isEmpty())
            return failure(api, Code::NotFound,
                           QStringLiteral("Give two players to compare: id=N&vs=M."), db);
        return api ? json(*found)
                   : page(QStringLiteral("Comparison"), comparisonPage(*found, db), QString());
    }
    using ListPage = std::function<Result<QJsonArray>()>;
    const QList<
        std::tuple<QString, QString, ListPage, std::function<QString(const QJsonArray &)>, int>>
        lists = {
            {QStringLiteral("/weapons"), QStringLiteral("Weapons"),
             [&] { return queries.weapons(); },
             [](const QJsonArray &rows) { return weaponsPage(rows); }, 0},
            {QStringLiteral("/maps"), QStringLiteral("Maps"), [&] { return queries.maps(); },
             [](const QJsonArray &rows) { return mapsPage(rows); }, 0},
            {QStringLiteral("/servers"), QStringLiteral("Servers"),
             [&] { return queries.servers(); },
             [db](const QJsonArray &rows) { return serversPage(rows, db); }, 0},
            {QStringLiteral("/games"), QStringLiteral("Games"),
             [&] { return queries.games(request); },
             [&](const QJsonArray &rows) {
                 return gamesPage(rows, db, request.page, request.pageSize);
             },
             0},
            {QStringLiteral("/live"), QStringLiteral("Live"), [&] { return queries.live(); },
             [db](const QJsonArray &rows) { return livePage(rows, db); }, 10},
        };
    for (const auto &[listPath, title, rowsOf, render, refresh] : lists) {
        if (path != listPath)
            continue;
        const Result<QJsonArray> rows = rowsOf();
        if (!rows)
            return unreadable(rows.error());
        return api ? json(*rows) : page(title, render(*rows), listPath, refresh);
    }
    return failure(api, Code::NotFound, QStringLiteral("There is no such page."), db);
}
