#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>

// One Scores row of a game, in the order the server wrote it.
struct MatchEvent
{
    qint64 record = 0;
    qint64 killer = 0; // 0: nobody (the world, a team)
    qint64 victim = 0;
    QString type; // kill, teamkill, suicide, assist, attack, a trigger's name ...
    qint64 score = 0;
    qint64 offset = 0; // seconds since the game started
    bool headshot = false;
};

// A round result of the game (Ledgerwell_Results, Kind "round").
struct MatchRound
{
    QString winner;
    QString result; // the trigger that ended it, also the Type of its own Scores row
    QString score;  // "CT:T" where Counter-Strike writes one
    qint64 offset = 0;
};

// A player is shown with the side he played for in his last round, as the round's kills and
// score tell (a player who joins the other team after the match is not moved), else with the
// playing team he joined last.
struct MatchPlayer
{
    qint64 id = 0;
    QString player; // the Players value
    QString name;
    QString team; // the playing team he joined last, or empty
};

struct MatchInput
{
    QList<MatchPlayer> players;
    QList<MatchRound> rounds;
    QList<MatchEvent> events;
    QList<std::pair<qint64, QString>> joins; // player, team, in the order they were joined
    bool eventsKnown = false;                // false: the game's rows could not be told apart
    // What Ledgerwell_Details adds to the rows, by Scores record: the players who took a
    // point, and the medics' deaths that dropped a full charge. Not known for a game stored
    // before they were kept.
    QHash<qint64, QList<qint64>> cappers;
    QSet<qint64> drops;
    QHash<qint64, qint64> mvps; // by player, where a CS2 server's round_stats blocks gave them
    bool detailsKnown = false;
    bool open = false; // the game has not ended: the round in progress counts
};

// A trade: the killer of a player dies within this many seconds, in the same round.
constexpr qint64 TradeSeconds = 5;

// The figures of a match page: the final score, the rounds and how each ended, and per
// player and team the figures players compare (K, D, A, +/-, ADR, HS %, KAST, first kills,
// multi-kill rounds; TF2's classes, damage per minute, heals and ubers). What comes before
// the match proper (Counter-Strike's last "Match_Start", TF2's first "Round_Start") is
// warm-up, kept apart; what comes after the last round of an ended game is left out.
QJsonObject matchFigures(const MatchInput &input);

// How a round ended, in words, from the trigger that ended it.
QString roundEnding(const QString &trigger);
