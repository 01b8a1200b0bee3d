#include "GamePlacement.h"

#include <algorithm>

namespace {

// Log times are whole seconds, and a game's end is written with the next map's first line.
constexpr qint64 EndSlack = 2;

} // namespace

bool GamePlacement::fits(const GameFacts &facts, qint64 offset) const
{
    return offset >= 0 && (facts.length < 0 || offset <= facts.length + EndSlack);
}

Result<GamePlacement::Placed> GamePlacement::moveTo(qint64 game, qint64 offset)
{
    const Result<GameFacts> facts = m_factsOf(game);
    if (!facts)
        return facts.error();
    ServerStream &stream = m_streams[facts->server];
    Placed placed{game, 0};
    if (stream.game != game) {
        placed.left = stream.game;
        stream = {game, offset};
    }
    stream.offset = std::max(stream.offset, offset);
    return placed;
}

Result<GamePlacement::Placed> GamePlacement::known(qint64 game, qint64 offset)
{
    return moveTo(game, offset);
}

Result<QList<qint64>> GamePlacement::gamesOf(qint64 player, bool fresh)
{
    if (!fresh || m_refreshed.contains(player)) {
        if (const auto found = m_games.constFind(player); found != m_games.cend())
            return *found;
    }
    if (fresh)
        m_refreshed.insert(player);
    const Result<QList<qint64>> games = m_gamesOf(player);
    if (games)
        m_games.insert(player, *games);
    return games;
}

// Most rows stay in the game of the killer's latest row: that is decided without a list.
Result<bool> GamePlacement::staysIn(qint64 game, qint64 killer, qint64 victim, qint64 offset)
{
    const Result<GameFacts> facts = m_factsOf(game);
    if (!facts)
        return facts.error();
    const ServerStream stream = m_streams.value(facts->server);
    if (game != stream.game || offset < stream.offset || !fits(*facts, offset))
        return false;
    for (const qint64 player : {killer, victim}) {
        if (player <= 0 || (player == victim && victim == killer))
            continue;
        const Result<QList<qint64>> games = gamesOf(player, false);
        if (!games)
            return games.error();
        if (!std::binary_search(games->cbegin(), games->cend(), game))
            return false;
    }
    return true;
}

Result<QList<qint64>> GamePlacement::candidates(qint64 killer, qint64 victim, bool fresh)
{
    const Result<QList<qint64>> own = gamesOf(killer, fresh);
    if (!own || victim <= 0 || victim == killer)
        return own;
    const Result<QList<qint64>> other = gamesOf(victim, fresh);
    if (!other)
        return other;
    QList<qint64> both;
    std::set_intersection(own->cbegin(), own->cend(), other->cbegin(), other->cend(),
                          std::back_inserter(both));
    return both.isEmpty() ? *own : both;
}

// The server's current game when the row may stay there; else the first later game it fits.
Result<qint64> GamePlacement::choose(const QList<qint64> &games, qint64 offset)
{
    qint64 stay = 0, next = 0;
    for (const qint64 game : games) {
        const Result<GameFacts> facts = m_factsOf(game);
        if (!facts)
            return facts.error();
        if (!fits(*facts, offset))
            continue;
        const ServerStream stream = m_streams.value(facts->server);
        if (game == stream.game && offset >= stream.offset)
            stay = std::max(stay, game);
        else if (game > stream.game && next == 0)
            next = game;
    }
    return stay != 0 ? stay : next;
}

Result<GamePlacement::Placed> GamePlacement::place(qint64 killer, qint64 victim, qint64 offset,
                                                   qint64 hint)
{
    if (killer <= 0)
        return Placed{};
    if (hint != 0) {
        const Result<bool> stays = staysIn(hint, killer, victim, offset);
        if (!stays)
            return stays.error();
        if (*stays)
            return moveTo(hint, offset);
    }
    for (const bool fresh : {false, true}) {
        const Result<QList<qint64>> games = candidates(killer, victim, fresh);
        if (!games)
            return games.error();
        const Result<qint64> chosen = choose(*games, offset);
        if (!chosen)
            return chosen.error();
        if (*chosen != 0)
            return moveTo(*chosen, offset);
    }
    // His games say nothing that fits (links written after the row, a clock set back): the
    // game of his latest row is the best guess left.
    return hint != 0 ? moveTo(hint, offset) : Result<Placed>(Placed{});
}
