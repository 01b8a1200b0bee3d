#pragma once

#include "SqlRows.h"

#include <QJsonObject>

// A player's aim where the server logs it: per weapon, the shots he fired and those that hit
// (the "weaponstats" rows of a stats plugin, or TF2's "shot_fired" and "shot_hit"), and where
// his hits on enemies landed (Counter-Strike's hit groups) in his games from `fromGame` on.
// Adds "accuracy" and "hit_groups" to the record.
Status addAim(const QSqlDatabase &db, qint64 id, qint64 fromGame, QJsonObject &record);
