#pragma once

#include "StatsConnection.h"

#include <QStringList>

// The tables the standings writer keeps beside the statistics tables, under names of its own
// (Stats_*), and the indexes the pages need on the statistics tables. The statistics tables'
// rows are never written.
//
// Stats_Standings   one row per scope and player: totals, skill (Mu, Sigma), Rating = Mu - 3
//                   Sigma, and the derived sort keys; scope "" is the whole database,
//                   "server:N" one Servers row, "mod:NAME" one game (Games.Patch_Name)
// Stats_History     a player's skill in a scope after each game he played
// Stats_Weapons     kills, headshots, damage and TF2's shots and hits per player and weapon
//                   (Player 0: everyone)
// Stats_Cursor      how far each source table has been read
QStringList ownTableStatements(Dialect dialect);

// The indexes of those tables the pages sort and look up by. A first catch-up writes its
// tables without them and builds them once at its end: adding each row to nine indexes at
// random places cost more than all the rest of it.
QStringList ownIndexStatements();

// Indexes on the statistics tables for the player, game and live pages.
QStringList sourceIndexStatements();

// Whether the database has a table of that name (as the engine keeps it).
bool hasTable(const QSqlDatabase &db, const QString &name);
