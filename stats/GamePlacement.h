#pragma once

#include "platform/Result.h"

#include <QHash>
#include <QList>
#include <QSet>

#include <functional>

// What placing a row needs to know of a game.
struct GameFacts
{
    qint64 server = 0;
    qint64 length = -1; // seconds from its start to its end; -1 while it is open
};

// The state of one server's stream of Scores rows: the game it is in and the Offset of its
// latest row there.
struct ServerStream
{
    qint64 game = 0;
    qint64 offset = 0;
};

// Places Scores rows that name no game (every row but the kills Ledgerwell_Kills extends:
// all kills of servers that log no positions or flags, suicides, attacks, assists) in the
// game they were written in.
//
// What every row has: a killer and a victim, each linked to the games he was in
// (Games_Players_Cvars, Games_Players_Teams), and an Offset, the seconds since its game
// started. A server's rows come in Record order and its Offsets grow until its next game
// starts at 0 again; its games follow one another in Record order. So a row stays in its
// server's current game while it is one of its players' games, its Offset has not gone back
// and it fits in the game's length; otherwise it moves on to the first later game of theirs
// it fits.
class GamePlacement
{
public:
    using GamesOf = std::function<Result<QList<qint64>>(qint64 player)>; // ascending
    using FactsOf = std::function<Result<GameFacts>(qint64 game)>;

    GamePlacement(GamesOf gamesOf, FactsOf factsOf)
        : m_gamesOf(std::move(gamesOf))
        , m_factsOf(std::move(factsOf))
    {
    }

    struct Placed
    {
        qint64 game = 0; // 0: no game of the players fits
        qint64 left = 0; // the game its server moved on from, if it did
    };
    // A row whose game is known: its server is there now.
    Result<Placed> known(qint64 game, qint64 offset);
    // A row without a game. `hint` is the game of the killer's latest row.
    Result<Placed> place(qint64 killer, qint64 victim, qint64 offset, qint64 hint);

    const QHash<qint64, ServerStream> &streams() const { return m_streams; }
    void restore(qint64 server, const ServerStream &stream) { m_streams.insert(server, stream); }
    // Players' games change as games are played: asked again after this.
    void forgetPlayers() { m_games.clear(); }
    // A player's games are asked again at most once a batch when nothing fits.
    void newBatch() { m_refreshed.clear(); }
    qsizetype cached() const { return m_games.size(); }

private:
    Result<QList<qint64>> gamesOf(qint64 player, bool fresh);
    Result<bool> staysIn(qint64 game, qint64 killer, qint64 victim, qint64 offset);
    Result<QList<qint64>> candidates(qint64 killer, qint64 victim, bool fresh);
    Result<qint64> choose(const QList<qint64> &games, qint64 offset);
    Result<Placed> moveTo(qint64 game, qint64 offset);
    bool fits(const GameFacts &facts, qint64 offset) const;

    GamesOf m_gamesOf;
    FactsOf m_factsOf;
    QHash<qint64, ServerStream> m_streams;
    QHash<qint64, QList<qint64>> m_games;
    QSet<qint64> m_refreshed;
};
