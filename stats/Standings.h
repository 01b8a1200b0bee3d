#pragma once

#include "SkillRating.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>

#include <vector>

// What the standings writer keeps of each player, scope and weapon while it reads the
// statistics tables in Record order; written back to the Stats_* tables in flushes.

struct Totals
{
    qint64 kills = 0, deaths = 0, assists = 0, headshots = 0, damage = 0, rounds = 0, seconds = 0,
           teamkills = 0, suicides = 0, won = 0;
    qint64 extras = 0;  // kills whose headshot is known (they have a Ledgerwell_Kills row)
    qint64 attacks = 0; // rows that carry damage: none, and the damage is unknown
    Skill skill;
    bool changed = false; // since the last flush; kept here, as a set of keys cost a lookup more
};

struct WeaponTotals
{
    qint64 kills = 0, headshots = 0, damage = 0, deaths = 0;
    qint64 shots = 0, hits = 0; // as TF2 writes a line for each
    bool changed = false;
};

// A player's rating in a scope after his latest contest of a game.
struct HistoryPoint
{
    QString start; // the game's
    Skill skill;
};

// A player's totals in one scope, with the rating point of his latest game not yet taken.
struct ScopedTotals
{
    int scope = 0; // the scope's number among those met
    Totals totals;
    qint64 pointGame = 0; // the game of `point`; 0 when none waits
    HistoryPoint point;
};

// Everything kept of one player: one hash lookup reaches all of it, where a hash per kind of
// total cost a lookup (and a cache miss) for each scope of each row.
struct PlayerInfo
{
    QString steam;
    QString name;
    qint64 lastGame = 0;              // the game of his latest kill or death
    qint64 lastOffset = 0;            // and the Offset of his latest event there
    std::vector<ScopedTotals> scopes; // the few he played in
    std::vector<std::pair<qint64, WeaponTotals>> weapons; // by weapon record
};

// The scopes a game counts in: "" (everything), "server:N" and "mod:NAME" where known.
struct GameInfo
{
    QStringList scopes{QString()};
    QString start;
    qint64 server = 0;
    qint64 length = -1; // seconds from start to end; -1 while it is open
};

// One Scores row with its kill extras.
struct ScoreEvent
{
    qint64 killer = 0, victim = 0, weapon = 0, score = 0, offset = 0;
    QString type;
    qint64 game = 0;     // the game it was placed in, 0 when none fits
    bool extras = false; // it has a Ledgerwell_Kills row, so Headshot is known
    bool headshot = false;
};

// A round won: the players who were in it, by the side they played for.
struct RoundEvent
{
    qint64 game = 0;
    QString winner;
    QHash<qint64, QString> sides;
};

// A player's figures in one game, as added since the last flush.
struct GameLine
{
    qint64 kills = 0, deaths = 0, headshots = 0, teamkills = 0, suicides = 0, assists = 0,
           damage = 0, attacks = 0, extras = 0;
};

using ScopeKey = std::pair<QString, qint64>;
using WeaponKey = std::pair<qint64, qint64>;    // player (0: everyone), weapon
using HistoryKey = std::pair<ScopeKey, qint64>; // game
using LineKey = std::pair<qint64, qint64>;      // game, player

class Standings
{
public:
    void apply(const ScoreEvent &event, const GameInfo &game);
    void apply(const RoundEvent &round, const GameInfo &game);
    void rename(qint64 player, const QString &name);

    // State read back at start-up.
    void restore(const ScopeKey &key, const Totals &totals);
    void restore(const WeaponKey &key, const WeaponTotals &totals);
    PlayerInfo &player(qint64 record) { return m_players[record]; }
    bool knows(qint64 player) const { return m_players.contains(player); }

    // What is kept, by key; nothing kept reads as zeros.
    Totals totals(const ScopeKey &key) const;
    bool hasTotals(const ScopeKey &key) const;
    WeaponTotals weapon(const WeaponKey &key) const;   // player 0: everyone's
    const PlayerInfo *playerInfo(qint64 record) const; // null for one never met

    // What changed since the last takeChanges, for the next flush.
    struct Changes
    {
        QSet<ScopeKey> totals;
        QSet<WeaponKey> weapons;
        QHash<HistoryKey, HistoryPoint> history;
        QSet<qint64> renamed;           // every scope's row takes the new name
        QHash<LineKey, GameLine> lines; // added to what is stored
    };
    Changes takeChanges();
    bool changed() const { return m_changed; }

private:
    using ScopeIds = QVarLengthArray<int, 4>;
    ScopeIds scopeIds(const QStringList &names);
    int scopeId(const QString &name);
    ScopedTotals &scoped(PlayerInfo &player, int scope);
    WeaponTotals &weapon(PlayerInfo &player, qint64 weapon);
    WeaponTotals &everyones(qint64 weapon);
    void present(PlayerInfo &player, const ScopeIds &scopes, qint64 gameRecord, qint64 offset);
    void worldKill(const ScoreEvent &event, const GameInfo &game, qint64 gameRecord);
    void count(const ScoreEvent &event);
    void rated(ScopedTotals &scoped, qint64 player, qint64 game, const GameInfo &info);
    const ScopedTotals *find(const ScopeKey &key) const;

    QHash<qint64, PlayerInfo> m_players;
    QHash<qint64, WeaponTotals> m_everyones; // everyone's figures by weapon
    QStringList m_scopeNames;
    QHash<QString, int> m_scopeIds;
    Changes m_changes; // but the totals and weapons, which are marked where they are kept
    bool m_changed = false;
};

// Rounds only count for the teams that play; these two watch.
bool isPlayingTeam(const QString &team);
