#pragma once

#include "MatchFigures.h"
#include "SqlRows.h"

// What a match page needs of one game: its players, its round results and its Scores rows in
// the order they were written. `game` is the game's object as the game page has it (server,
// start, end, scoreboard).
//
// Scores rows name no game; the kills Ledgerwell_Kills extends do. The game's rows lie around
// its kills, before the next game's first kill on the same server and after the previous
// one's last: among them, the rows of its players (and the team and world triggers, which
// name nobody) whose Offset keeps growing from the game's start. A game without such kills
// (its server logs no positions) has no rows told apart: its page shows the standings
// writer's totals.
// Whether a team plays: not Unassigned, Spectator or the server's Console.
bool playing(const QString &team);

Result<MatchInput> readMatch(const QSqlDatabase &db, qint64 game, const QJsonObject &page);
