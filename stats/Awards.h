#pragma once

#include "SqlRows.h"

#include <QJsonArray>
#include <QJsonObject>

// The awards: the best of the last day anyone played, and of all time. Each award is an
// object {award, title, id, player, name, value}; a ratio needs enough behind it (K/D 20
// kills and deaths all time, 10 in a day; HS % 20 kills whose headshot the server logs;
// damage per round 20 rounds).
Result<QJsonObject> awards(const QSqlDatabase &db);

// The awards `awards` lists that player `id` holds.
QJsonArray awardsOf(const QJsonObject &awards, qint64 id);
