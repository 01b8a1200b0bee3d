#pragma once

#include "SqlRows.h"

#include <QJsonObject>

// A player's record over his recent games (the last 500): first and last seen, figures per
// map with his win rate, his accuracy per weapon where the server logs shots and hits, games
// per day or month, sessions (games less than two hours apart are one) and his longest run
// of games won. A game is won when the one playing team he joined finished ahead (by
// Counter-Strike's last score, else by the rounds each team won); one in which he joined both
// counts neither way, as the tables keep each team once a game, not when he joined it.
Result<QJsonObject> playerRecord(const QSqlDatabase &db, qint64 id);

// Whether a team that ended a game as `team` won it, from its round results (winner, score
// "CT:T" or empty) in order. Nothing when the game has none or a draw.
std::optional<bool> gameWon(const QString &team, const QList<std::pair<QString, QString>> &rounds);
