// Games: the map being played on a server, from its first line to the next map.

#include "Ledger.h"

#include "LedgerRules.h"
#include "TextRules.h"

namespace ledgerwell {

using namespace rules;

void Ledger::startGame(ServerState &server, const LogTime &time, std::int64_t flags,
                       RowBatch &batch)
{
    forgetGame(server, batch);
    GameState &game = server.game;
    game.id = next(Table::Games);
    game.startSeconds = time.epochSeconds();
    game.flags = flags;
    if (!server.logStarted)
        game.flags |= GameFlag::NoLogStart;
    if (isDigits(server.version))
        game.flags |= GameFlag::SourceEngine;
    batch.add(insertInto(Table::Games), Value::record(game.id), Value::textOrNull(server.version),
              Value::textOrNull(server.gameName), Value::of(time.iso()), Value::null(),
              Value::of(game.flags));
    batch.add(insertInto(Table::ServersGames), Value::record(next(Table::ServersGames)),
              Value::record(server.id), Value::record(game.id));
    // Says the game's details are kept: one stored by an earlier version has none, and its
    // pages show those figures as unknown rather than as none.
    detail(server, 0, 0, "game", {}, batch);
    // A game's cvars are those the server lists while it is open (servers list them all
    // after "Loading map"), linked as they come: no line writes more than a few rows, so a
    // sender cannot make every new map write a row per cvar ever seen.
}

// "Loading map" opens the map's game; "Started map" of the same map goes on with it, as
// servers write both (CS2 writes only the first).
void Ledger::startMapGame(ServerState &server, const ParsedLine &line, RowBatch &batch)
{
    const bool loading = line.event.kind == EventKind::LoadingMap;
    std::string map = storedText(line.event.text, Length::Long);
    GameState &open = server.game;
    if (!loading && open.id && open.awaitsStart && open.map == map) {
        open.awaitsStart = false;
        open.flags &= ~GameFlag::NoStartedMap;
        writeGameFlags(open, Value::null(), batch);
        return;
    }
    if (open.id)
        endGame(server, line.time, GameFlag::EndedByNextMap, batch);
    startGame(server, line.time, loading ? GameFlag::NoStartedMap : 0, batch);
    server.game.awaitsStart = loading;
    const std::int64_t record = named(Table::Maps, map, line.time, batch);
    server.game.map = std::move(map);
    batch.add(insertInto(Table::GamesMaps), Value::record(next(Table::GamesMaps)),
              Value::record(server.game.id), Value::record(record));
}

void Ledger::ensureGame(ServerState &server, const LogTime &time, RowBatch &batch)
{
    GameState &game = server.game;
    if (game.id == 0) {
        startGame(server, time, GameFlag::MidMap, batch);
    } else if (game.logClosed) {
        // The map goes on in a new log file: the end written at the close is taken back.
        game.logClosed = false;
        game.flags |= GameFlag::GoesOnAfterLogClose;
        writeGameFlags(game, Value::null(), batch);
    }
}

// "Log file closed" ends the game for now; it stays open in case the map goes on.
void Ledger::closeLog(ServerState &server, const LogTime &time, RowBatch &batch)
{
    GameState &game = server.game;
    if (game.id == 0 || game.logClosed)
        return;
    game.logClosed = true;
    writeGameFlags(game, Value::of(time.iso()), batch);
}

void Ledger::endGame(ServerState &server, const LogTime &time, std::int64_t flag, RowBatch &batch)
{
    // After a close, the close's time and flag stand: they are written already.
    if (!server.game.logClosed) {
        server.game.flags |= flag;
        writeGameFlags(server.game, Value::of(time.iso()), batch);
    }
    forgetGame(server, batch);
}

// Nothing refers to a game once the server has left it.
void Ledger::forgetGame(ServerState &server, RowBatch &batch)
{
    if (server.game.id < 0)
        batch.forgotten().push_back(-server.game.id);
    server.game = GameState();
}

void Ledger::writeGameFlags(const GameState &game, const Value &end, RowBatch &batch)
{
    const std::int64_t flags = end.kind == Value::Kind::Null || !game.logClosed
                                   ? game.flags
                                   : game.flags | GameFlag::EndedByLogClose;
    batch.add(Statement::UpdateGameEnd, Value(end), Value::of(flags), Value::record(game.id));
}

} // namespace ledgerwell
