#pragma once

#include "SkillRating.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// What the standings writer keeps of each player, scope and weapon while it reads the
// statistics tables in Record order; written back to the Stats_* tables in flushes.

struct Totals
{
    qint64 kills = 0, deaths = 0, assists = 0, headshots = 0, damage = 0, rounds = 0, seconds = 0,
           teamkills = 0, suicides = 0;
    Skill skill;
};

struct WeaponTotals
{
    qint64 kills = 0, headshots = 0, damage = 0, deaths = 0;
};

struct PlayerInfo
{
    QString steam;
    QString name;
    qint64 lastGame = 0;   // the game of his latest kill or death
    qint64 lastOffset = 0; // and the Offset of his latest event there
};

// The scopes a game counts in: "" (everything), "server:N" and "mod:NAME" where known.
struct GameInfo
{
    QStringList scopes{QString()};
    QString start;
};

// One Scores row with its kill extras.
struct ScoreEvent
{
    qint64 killer = 0, victim = 0, weapon = 0, score = 0, offset = 0;
    QString type;
    qint64 game = 0; // Ledgerwell_Kills.Game, 0 when the row has none
    bool headshot = false;
};

// A round won: the players of the game by the teams they played for there.
struct RoundEvent
{
    qint64 game = 0;
    QString winner;
    QHash<qint64, QSet<QString>> teams;
};

using ScopeKey = std::pair<QString, qint64>;
using WeaponKey = std::pair<qint64, qint64>;    // player (0: everyone), weapon
using HistoryKey = std::pair<ScopeKey, qint64>; // game

class Standings
{
public:
    // The game a row counts for: its own, or for rows without one (attacks, assists) the
    // game of the player's latest kill or death.
    qint64 gameOf(const ScoreEvent &event) const;
    void apply(const ScoreEvent &event, const GameInfo &game, qint64 gameRecord);
    void apply(const RoundEvent &round, const GameInfo &game);
    void rename(qint64 player, const QString &name);

    // State read back at start-up.
    void restore(const ScopeKey &key, const Totals &totals) { m_totals.insert(key, totals); }
    void restore(const WeaponKey &key, const WeaponTotals &totals)
    {
        m_weapons.insert(key, totals);
    }
    PlayerInfo &player(qint64 record) { return m_players[record]; }
    bool knows(qint64 player) const { return m_players.contains(player); }

    const QHash<ScopeKey, Totals> &totals() const { return m_totals; }
    const QHash<WeaponKey, WeaponTotals> &weapons() const { return m_weapons; }
    const QHash<qint64, PlayerInfo> &players() const { return m_players; }

    // What changed since the last takeChanges, for the next flush.
    struct Changes
    {
        QSet<ScopeKey> totals;
        QSet<WeaponKey> weapons;
        QHash<HistoryKey, QString> history; // -> the game's start
        QSet<qint64> renamed;               // every scope's row takes the new name
    };
    Changes takeChanges() { return std::exchange(m_changes, {}); }
    bool changed() const { return !m_changes.totals.isEmpty() || !m_changes.weapons.isEmpty(); }

private:
    Totals &totals(const QString &scope, qint64 player);
    WeaponTotals &weapon(qint64 player, qint64 weapon);
    void present(qint64 player, const GameInfo &game, qint64 gameRecord, qint64 offset);
    void worldKill(const ScoreEvent &event, const GameInfo &game, qint64 gameRecord);

    QHash<ScopeKey, Totals> m_totals;
    QHash<WeaponKey, WeaponTotals> m_weapons;
    QHash<qint64, PlayerInfo> m_players;
    Changes m_changes;
};

// Rounds only count for the teams that play; these two watch.
bool isPlayingTeam(const QString &team);
