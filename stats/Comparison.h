#pragma once

#include "SqlRows.h"

#include <QJsonObject>

// Two players side by side: each one's figures over everything, and their record against
// each other (kills of one on the other, the games they both played, and the kills and
// deaths of each in those games). An empty object when either is no player.
Result<QJsonObject> comparison(const QSqlDatabase &db, qint64 a, qint64 b);
