#pragma once

#include "SqlRows.h"

#include <QJsonArray>
#include <QJsonObject>

#include <vector>

// Every ranked player of a scope with what a search looks in: his name and Steam id, case
// folded, on lines of their own.
using SearchTexts = std::vector<std::pair<qint64, QString>>;

// What a page asks for, already checked and bounded by the server.
struct PageRequest
{
    QString scope; // "", "server:N" or "mod:NAME"
    QString sort = QStringLiteral("rating");
    QString search;
    int page = 1;
    int pageSize = 50;
    qint64 id = 0;    // the player or game a page is about
    qint64 other = 0; // the second player of a comparison
};

// The figures behind every page, as the JSON the API serves and the HTML pages render.
// Every call reads through the page connection only.
class StatsQueries
{
public:
    explicit StatsQueries(QSqlDatabase db)
        : m_db(std::move(db))
    {
    }

    // The sort keys rankings accept, best first; the first is the default.
    static const QStringList &sortKeys();

    // The request's page of `order`, the ranking's players best first (see rankedPlayers).
    Result<QJsonArray> rankings(const PageRequest &request, const std::vector<qint64> &order) const;
    // Every ranked player of the request's scope and sort, best first; its search aside.
    Result<std::vector<qint64>> rankedPlayers(const PageRequest &request) const;
    Result<SearchTexts> searchTexts(const QString &scope) const;
    // Servers and games (mods) a ranking can be limited to.
    Result<QJsonArray> scopes() const;
    // An empty object when there is no such player.
    Result<QJsonObject> player(qint64 id) const;
    Result<QJsonArray> weapons() const;
    Result<QJsonArray> maps() const;
    Result<QJsonArray> servers() const;
    Result<QJsonArray> games(const PageRequest &request) const;
    Result<QJsonObject> game(qint64 id) const;
    Result<QJsonArray> live() const;
    Result<QJsonObject> awards() const;
    // An empty object when either is no player.
    Result<QJsonObject> comparison(qint64 a, qint64 b) const;

private:
    Result<QJsonArray> playerPart(const QString &sql, const QVariantList &values,
                                  const QStringList &keys) const;

    QSqlDatabase m_db;
};

// A list of rows as objects, the columns named by keys in order.
QJsonArray objects(const QList<Row> &rows, const QStringList &keys);
