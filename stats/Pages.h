#pragma once

#include "Html.h"
#include "StatsQueries.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

// The pages' bodies, written from the same JSON the API serves.

struct RankingsView
{
    PageRequest request;
    int db = 0;
    QStringList databases; // labels, when there is more than one
    QJsonArray scopes;
    QJsonArray rows;
    qint64 total = 0;
    QString notice; // why the standings may be incomplete
};

QString rankingsPage(const RankingsView &view);
QString playerPage(const QJsonObject &player, int db);
QString weaponsPage(const QJsonArray &weapons);
QString mapsPage(const QJsonArray &maps);
QString serversPage(const QJsonArray &servers, int db);
QString gamesPage(const QJsonArray &games, int db, int page, int pageSize);
QString gamePage(const QJsonObject &game, int db);
QString livePage(const QJsonArray &events, int db);
QString awardsPage(const QJsonObject &awards, int db);
QString comparisonPage(const QJsonObject &comparison, int db);

// Links to a player's and a game's page.
QString playerUrl(int db, const QJsonValue &id);
QString gameUrl(int db, const QJsonValue &id);
// A column naming the row's player ("id", "name") or game ("game", "start"), linked.
Column playerColumn(int db, const QString &title);
Column gameColumn(int db, const QString &title);
