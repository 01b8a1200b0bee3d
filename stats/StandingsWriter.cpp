#include "StandingsWriter.h"

#include "RowStatement.h"
#include "SqlRows.h"
#include "StandingsStore.h"
#include "StatsConnection.h"
#include "StatsTables.h"

#include <QDate>
#include <QSqlQuery>
#include <QTextStream>

namespace {

constexpr int ScoresBatch = 50000;
constexpr int OtherBatch = 5000;
constexpr int IdleMs = 2000;
// During a catch-up the changes are stored at most this often, not after every batch.
constexpr qint64 FlushEveryMs = 30000;
// Games and players' game lists kept in memory, at most.
constexpr qsizetype MaxCached = 200000;
// What the Stats_* tables hold and how they were reckoned; tables of another layout are
// computed anew (4: rounds whose sides the bomb turned were rated the wrong way round; 5:
// TF2 rounds after a stopwatch swap were).
constexpr qint64 Layout = 5;
// A catch-up stores what it has so far at most this share of its time (1 in 10).
constexpr qint64 FlushShare = 10;

// Seconds of "yyyy-MM-dd HH:mm:ss" from a fixed day, as the log wrote it, without time zones;
// read by hand, as QDateTime's parser took more time than the rest of a round's reading.
std::optional<qint64> secondsOf(QStringView text)
{
    if (text.size() < 19 || text[4] != u'-' || text[7] != u'-' || text[10] != u' ' ||
        text[13] != u':' || text[16] != u':')
        return std::nullopt;
    int parts[6] = {};
    const int at[6][2] = {{0, 4}, {5, 2}, {8, 2}, {11, 2}, {14, 2}, {17, 2}};
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        parts[i] = text.mid(at[i][0], at[i][1]).toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    const QDate day(parts[0], parts[1], parts[2]);
    if (!day.isValid() || parts[3] > 23 || parts[4] > 59 || parts[5] > 59)
        return std::nullopt;
    return day.toJulianDay() * 86400 + parts[3] * 3600 + parts[4] * 60 + parts[5];
}

} // namespace

StandingsWriter::Questions::Questions(const QSqlDatabase &db)
    : player(db, QStringLiteral("SELECT Player FROM Players WHERE Record = ?"))
    , game(db, QStringLiteral("SELECT g.Patch_Name, g.Game_Start_Date_Time, "
                              "g.Game_End_Date_Time, (SELECT MIN(sg.Server) FROM Servers_Games sg "
                              "WHERE sg.Game = g.Record) FROM Games g WHERE g.Record = ?"))
    , games(db, QStringLiteral("SELECT Game FROM Games_Players_Cvars WHERE Player = ? UNION "
                               "SELECT Game FROM Games_Players_Teams WHERE Player = ? ORDER BY 1"))
    , type(db, QStringLiteral("SELECT Type FROM Types WHERE Record = ?"))
    , joins(db, QStringLiteral("SELECT gpt.Player, t.Team FROM Games_Players_Teams gpt JOIN Teams "
                               "t ON t.Record = gpt.Team WHERE gpt.Game = ? ORDER BY gpt.Record"))
{
}

StandingsWriter::StandingsWriter(QString connString, QString connectionName,
                                 std::shared_ptr<WriterStatus> status)
    : m_connString(std::move(connString))
    , m_connectionName(std::move(connectionName))
    , m_status(std::move(status))
    , m_timer(this) // a child, so it moves to the writer's thread with it
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &StandingsWriter::tick);
}

StandingsWriter::~StandingsWriter()
{
    m_ask.reset();
    m_store.reset();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void StandingsWriter::start()
{
    m_timer.start(0);
}

void StandingsWriter::fail(const QString &what, const ErrorInfo &error)
{
    WriterStatus::Snapshot state = m_status->snapshot();
    const QString text = what + QStringLiteral(": ") + error.description;
    if (state.error != text)
        QTextStream(stderr) << "varnock_stats: " << text << '\n';
    state.error = text;
    state.caughtUp = false;
    m_status->set(state);
    // Start again from what is stored: the cursors there match the rows there.
    m_standings.reset();
    m_timer.start(IdleMs * 5);
}

Status StandingsWriter::prepare()
{
    if (!m_db.isOpen()) {
        Result<QSqlDatabase> opened =
            openStatsConnection(m_connString, m_connectionName, Access::Writer);
        if (!opened)
            return opened.error();
        m_db = *opened;
        m_store = std::make_unique<StandingsStore>(m_db);
    }
    if (const Status prepared = m_store->prepare(); !prepared)
        return prepared;
    if (const Status current = m_store->startOverUnless(Layout); !current)
        return current;
    const Result<bool> fresh = m_store->empty();
    if (!fresh)
        return fresh.error();
    m_indexesDue = *fresh; // a first catch-up builds them at its end
    if (!m_indexesDue) {
        if (const Status indexed = m_store->createIndexes(); !indexed)
            return indexed;
    }
    m_hasKills = hasTable(m_db, QStringLiteral("Ledgerwell_Kills"));
    m_hasResults = hasTable(m_db, QStringLiteral("Ledgerwell_Results"));
    m_standings.emplace();
    m_ask.emplace(m_db);
    m_types.clear();
    m_cursors.clear();
    m_games.clear();
    m_rounds = RoundQueue();
    m_roundSoFar.clear();
    m_sides.clear();
    m_roundTriggers.clear();
    m_placement.emplace([this](qint64 player) { return gamesOf(player); },
                        [this](qint64 record) -> Result<GameFacts> {
                            const Result<GameInfo> info = game(record);
                            if (!info)
                                return info.error();
                            return GameFacts{info->server, info->length};
                        });
    m_sinceFlush.start();
    m_flushEveryMs = FlushEveryMs;
    QHash<qint64, RoundState> rounds;
    if (const Status loaded = m_store->load(*m_standings, m_cursors, rounds); !loaded)
        return loaded;
    for (auto it = rounds.cbegin(); it != rounds.cend(); ++it) {
        m_sides.insert(it.key(), it.value().sides);
        if (!it.value().round.kills.isEmpty() || !it.value().round.bomb.isEmpty() ||
            !it.value().round.joins.isEmpty())
            m_roundSoFar.insert(it.key(), it.value().round);
    }
    restoreCursors();
    return {};
}

// Besides how far each table was read, the cursors hold where each server's rows are
// (`game@N`, `offset@N`) and which rounds past the results cursor are rated (`round@N`).
void StandingsWriter::restoreCursors()
{
    QHash<qint64, ServerStream> streams;
    for (auto it = m_cursors.cbegin(); it != m_cursors.cend(); ++it) {
        const QString name = it.key();
        const qint64 number = name.section(QLatin1Char('@'), 1).toLongLong();
        if (name.startsWith(QLatin1String("game@")))
            streams[number].game = it.value();
        else if (name.startsWith(QLatin1String("offset@")))
            streams[number].offset = it.value();
        else if (name.startsWith(QLatin1String("round@")))
            m_rounds.restoreRated(number);
    }
    for (auto it = streams.cbegin(); it != streams.cend(); ++it)
        m_placement->restore(it.key(), it.value());
    m_resultsRead = m_cursors.value(QStringLiteral("results"));
}

QHash<qint64, RoundState> StandingsWriter::openRounds() const
{
    QHash<qint64, RoundState> rounds;
    for (auto it = m_sides.cbegin(); it != m_sides.cend(); ++it)
        rounds[it.key()].sides = it.value();
    for (auto it = m_roundSoFar.cbegin(); it != m_roundSoFar.cend(); ++it)
        rounds[it.key()].round = it.value();
    return rounds;
}

void StandingsWriter::storeCursors()
{
    for (auto it = m_cursors.begin(); it != m_cursors.end();) {
        if (it.key().contains(QLatin1Char('@')))
            it = m_cursors.erase(it);
        else
            ++it;
    }
    const QHash<qint64, ServerStream> &streams = m_placement->streams();
    for (auto it = streams.cbegin(); it != streams.cend(); ++it) {
        m_cursors.insert(QStringLiteral("game@%1").arg(it.key()), it.value().game);
        m_cursors.insert(QStringLiteral("offset@%1").arg(it.key()), it.value().offset);
    }
    for (const qint64 record : m_rounds.ratedPast(m_resultsRead))
        m_cursors.insert(QStringLiteral("round@%1").arg(record), 1);
    m_cursors.insert(QStringLiteral("results"), m_rounds.cursor(m_resultsRead));
    m_cursors.insert(QStringLiteral("layout"), Layout);
}

void StandingsWriter::tick()
{
    if (!m_standings) {
        if (const Status prepared = prepare(); !prepared)
            return fail(QStringLiteral("the standings cannot be kept"), prepared.error());
    }
    // An open game may have ended since: asked again.
    for (auto it = m_games.begin(); it != m_games.end();)
        it = it->length < 0 ? m_games.erase(it) : std::next(it);
    if (m_games.size() > MaxCached)
        m_games.clear();
    const Result<int> names = readNames();
    if (!names)
        return fail(QStringLiteral("reading player names"), names.error());
    // Results first: every kill before a result read is then in the Scores read after it.
    const Result<int> results = readResults();
    if (!results)
        return fail(QStringLiteral("reading round results"), results.error());
    const bool moreResults = *results == OtherBatch;
    m_readAgain = false;
    const Result<int> scores = moreResults ? Result<int>(0) : readScores();
    if (!scores)
        return fail(QStringLiteral("reading Scores"), scores.error());
    // A full batch, or one that stopped early to read results again: there is more.
    const bool more = *names == OtherBatch || moreResults || *scores == ScoresBatch || m_readAgain;
    if (!more) {
        if (const Status ended = rateEndedGames(); !ended)
            return fail(QStringLiteral("rating rounds"), ended.error());
    }

    bool stored = false;
    if (m_standings->changed() && (!more || m_sinceFlush.elapsed() > m_flushEveryMs)) {
        storeCursors();
        QElapsedTimer storing;
        storing.start();
        if (const Status flushed = m_store->flush(*m_standings, m_cursors, openRounds()); !flushed)
            return fail(QStringLiteral("storing the standings"), flushed.error());
        // Storing a large catch-up's standings takes long and longer: it is done more seldom.
        m_flushEveryMs = std::max(FlushEveryMs, FlushShare * storing.elapsed());
        m_sinceFlush.restart();
        stored = true;
    }
    if (!more && m_indexesDue && !m_standings->changed()) {
        if (const Status indexed = m_store->createIndexes(); !indexed)
            return fail(QStringLiteral("indexing the standings"), indexed.error());
        m_indexesDue = false;
    }
    WriterStatus::Snapshot state = m_status->snapshot();
    state.stores += stored ? 1 : 0;
    state.caughtUp = !more && !m_standings->changed() && !m_indexesDue;
    state.scores += *scores;
    state.error.clear();
    m_status->set(state);
    m_timer.start(more ? 0 : IdleMs);
}

Status StandingsWriter::learnPlayer(qint64 record)
{
    if (m_standings->knows(record))
        return {};
    const Result<QList<Row>> rows = m_ask->player.rows({record});
    if (!rows)
        return rows.error();
    PlayerInfo &info = m_standings->player(record);
    if (!rows->isEmpty())
        info.steam = rows->first().at(0).toString();
    return {};
}

Result<int> StandingsWriter::readNames()
{
    const Result<QList<Row>> rows = selectRows(
        m_db,
        QStringLiteral("SELECT gpc.Record, gpc.Player, c.Val FROM Games_Players_Cvars gpc "
                       "JOIN Cvars c ON c.Record = gpc.Cvar WHERE gpc.Record > ? AND c.Cvar = "
                       "'name' ORDER BY gpc.Record LIMIT ?"),
        {m_cursors.value(QStringLiteral("names")), OtherBatch});
    if (!rows)
        return rows.error();
    for (const Row &row : *rows) {
        const qint64 player = row.at(1).toLongLong();
        if (const Status learned = learnPlayer(player); !learned)
            return learned.error();
        m_standings->rename(player, row.at(2).toString());
        m_cursors[QStringLiteral("names")] = row.at(0).toLongLong();
    }
    return int(rows->size());
}

Result<GameInfo> StandingsWriter::game(qint64 record)
{
    if (record == 0)
        return GameInfo{};
    if (const auto found = m_games.constFind(record); found != m_games.cend())
        return *found;
    const Result<QList<Row>> rows = m_ask->game.rows({record});
    if (!rows)
        return rows.error();
    GameInfo info;
    if (!rows->isEmpty()) {
        const Row &row = rows->first();
        if (!row.at(3).isNull()) {
            info.server = row.at(3).toLongLong();
            info.scopes << QStringLiteral("server:") + row.at(3).toString();
        }
        if (!row.at(0).toString().isEmpty())
            info.scopes << QStringLiteral("mod:") + row.at(0).toString();
        info.start = dateText(row.at(1));
        const std::optional<qint64> start = secondsOf(info.start);
        const std::optional<qint64> end = secondsOf(dateText(row.at(2)));
        if (start && end)
            info.length = std::max<qint64>(0, *end - *start);
    }
    m_games.insert(record, info);
    return info;
}

// Scores rows name their Type by record; the few names are read once each.
Result<QString> StandingsWriter::typeName(qint64 record)
{
    if (const auto known = m_types.constFind(record); known != m_types.cend())
        return *known;
    const Result<QList<Row>> rows = m_ask->type.rows({record});
    if (!rows)
        return rows.error();
    const QString name = rows->isEmpty() ? QString() : rows->first().at(0).toString();
    m_types.insert(record, name);
    return name;
}

Result<QList<qint64>> StandingsWriter::gamesOf(qint64 player)
{
    const Result<QList<Row>> rows = m_ask->games.rows({player, player});
    if (!rows)
        return rows.error();
    QList<qint64> games;
    for (const Row &row : *rows)
        games << row.at(0).toLongLong();
    return games;
}

Result<int> StandingsWriter::readScores()
{
    const QString offset = dialectOf(m_db) == Dialect::Postgres ? QStringLiteral("s.\"offset\"")
                                                                : QStringLiteral("s.\"Offset\"");
    const QString kills = m_hasKills ? QStringLiteral("k.Game, k.Headshot FROM Scores s LEFT JOIN "
                                                      "Ledgerwell_Kills k ON k.Score = s.Record")
                                     : QStringLiteral("NULL, NULL FROM Scores s");
    // Read whole before anything else is asked: PostgreSQL streams a forward-only result,
    // and a second statement on the connection would end it early.
    struct ScoreRow
    {
        qint64 record, killer, victim, type, weapon, score, game;
        double offset;
        bool extras, headshot;
    };
    std::vector<ScoreRow> rows;
    rows.reserve(ScoresBatch);
    RowStatement scores(m_db, QStringLiteral("SELECT s.Record, s.Killer, s.Victim, s.Type, "
                                             "s.Weapon, s.Score, %1, %2 WHERE s.Record > ? "
                                             "ORDER BY s.Record LIMIT ?")
                                  .arg(offset, kills));
    const Status read = scores.each(
        [&] {
            rows.push_back({scores.integer(0), scores.integer(1), scores.integer(2),
                            scores.integer(3), scores.integer(4), scores.integer(5),
                            scores.integer(7), scores.real(6), !scores.isNull(7),
                            scores.integer(8) == 1});
        },
        m_cursors.value(QStringLiteral("scores")), ScoresBatch);
    if (!read)
        return read.error();
    if (m_placement->cached() > MaxCached)
        m_placement->forgetPlayers();
    m_placement->newBatch();
    m_joins.clear();
    m_readAgain = false;
    qsizetype taken = 0;
    for (const ScoreRow &row : rows) {
        ScoreEvent event;
        event.killer = row.killer;
        event.victim = row.victim;
        const Result<QString> type = typeName(row.type);
        if (!type)
            return type.error();
        event.type = *type;
        event.weapon = row.weapon;
        event.score = row.score;
        event.offset = qint64(row.offset);
        event.extras = row.extras;
        event.headshot = row.headshot;
        for (const qint64 player : {event.killer, event.victim}) {
            if (player <= 0)
                continue;
            if (const Status learned = learnPlayer(player); !learned)
                return learned.error();
        }
        // A kill by the world (CS:GO's bomb) is its victim's death; any other row without a
        // killer is a team's or the world's trigger.
        const bool worldKill = event.type == QLatin1String("kill") && event.victim > 0;
        if (event.killer <= 0 && !worldKill) {
            // A team's or the world's trigger: the end of a round is one.
            const QList<PendingRound> due = m_rounds.takeMarked(event.type, event.offset);
            if (due.isEmpty() && m_roundTriggers.contains(event.type) && m_waitedAt != row.record) {
                // Its result may have been committed after the results were read: they are
                // read again before this row is.
                m_waitedAt = row.record;
                m_readAgain = true;
                return int(taken);
            }
            if (const Status rated = rateRounds(due); !rated)
                return rated.error();
            m_cursors[QStringLiteral("scores")] = row.record;
            ++taken;
            continue;
        }
        // A kill by the world (CS:GO's bomb) has only its victim to place it by.
        const qint64 placer = event.killer > 0 ? event.killer : event.victim;
        const PlayerInfo *placerInfo = m_standings->playerInfo(placer);
        const Result<GamePlacement::Placed> placed =
            event.extras ? m_placement->known(row.game, event.offset)
                         : m_placement->place(placer, event.killer > 0 ? event.victim : 0,
                                              event.offset, placerInfo ? placerInfo->lastGame : 0);
        if (!placed)
            return placed.error();
        event.game = placed->game;
        if (placed->left != 0) {
            if (const Status rated = rateRounds(m_rounds.takeAll(placed->left)); !rated)
                return rated.error();
            m_roundSoFar.remove(placed->left);
            m_sides.remove(placed->left);
        }
        if (event.game != 0) {
            const QList<PendingRound> due = m_rounds.takeBefore(event.game, event.offset);
            if (const Status rated = rateRounds(due); !rated)
                return rated.error();
        }
        // A team joined is side evidence only: it is no figure of the player's.
        if (const QString team = joinedTeam(event.type); !team.isEmpty()) {
            if (event.game != 0) {
                RoundEvidence &round = m_roundSoFar[event.game];
                round.joins << RoundJoin{event.killer, team, round.kills.size()};
            }
            m_cursors[QStringLiteral("scores")] = row.record;
            ++taken;
            continue;
        }
        const Result<GameInfo> info = game(event.game);
        if (!info)
            return info.error();
        m_standings->apply(event, *info);
        const bool death = event.type == QLatin1String("kill") ||
                           event.type == QLatin1String("teamkill") ||
                           event.type == QLatin1String("suicide");
        if (death && event.game != 0 && event.killer > 0)
            m_roundSoFar[event.game].kills
                << RoundKill{event.killer, event.victim > 0 ? event.victim : event.killer,
                             event.type == QLatin1String("kill")};
        else if (const int bomb = bombSide(event.type); bomb != 0 && event.game != 0)
            m_roundSoFar[event.game].bomb[event.killer] += bomb;
        m_cursors[QStringLiteral("scores")] = row.record;
        ++taken;
    }
    return int(taken);
}

Result<int> StandingsWriter::readResults()
{
    if (!m_hasResults)
        return 0;
    const Result<QList<Row>> rows =
        selectRows(m_db,
                   QStringLiteral("SELECT Record, Game, Kind, Team, Date_Time, Score, Result FROM "
                                  "Ledgerwell_Results WHERE Record > ? ORDER BY Record LIMIT ?"),
                   {m_resultsRead, OtherBatch});
    if (!rows)
        return rows.error();
    for (const Row &row : *rows) {
        m_resultsRead = row.at(0).toLongLong();
        if (row.at(2).toString() != QLatin1String("round") || row.at(3).isNull())
            continue;
        PendingRound round{row.at(0).toLongLong(), row.at(1).toLongLong(), 0,
                           row.at(3).toString(),   row.at(5).toString(),   row.at(6).toString()};
        m_roundTriggers.insert(round.trigger);
        const Result<GameInfo> info = game(round.game);
        if (!info)
            return info.error();
        const std::optional<qint64> start = secondsOf(info->start);
        const std::optional<qint64> end = secondsOf(dateText(row.at(4)));
        if (start && end)
            round.offset = *end - *start;
        m_rounds.add(round);
    }
    return int(rows->size());
}

// A game's joins are read once a batch: a game's rounds rated in one batch share them, and a
// live game's new joins are there by the next.
Result<StandingsWriter::Joins> StandingsWriter::joinsOf(qint64 game)
{
    if (const auto known = m_joins.constFind(game); known != m_joins.cend())
        return *known;
    const Result<QList<Row>> teams = m_ask->joins.rows({game});
    if (!teams)
        return teams.error();
    Joins joins;
    for (const Row &team : *teams)
        joins.append({team.at(0).toLongLong(), team.at(1).toString()});
    m_joins.insert(game, joins);
    return joins;
}

Status StandingsWriter::rateRounds(const QList<PendingRound> &rounds)
{
    for (const PendingRound &pending : rounds) {
        const Result<Joins> joins = joinsOf(pending.game);
        if (!joins)
            return joins.error();
        const Result<GameInfo> info = game(pending.game);
        if (!info)
            return info.error();
        RoundEvent round{pending.game, pending.winner,
                         roundSides(m_sides[pending.game], *joins, m_roundSoFar.take(pending.game),
                                    pending.score)};
        for (auto it = round.sides.cbegin(); it != round.sides.cend(); ++it) {
            if (const Status learned = learnPlayer(it.key()); !learned)
                return learned;
        }
        m_standings->apply(round, *info);
    }
    return {};
}

Status StandingsWriter::rateEndedGames()
{
    for (const qint64 record : m_rounds.games()) {
        const Result<GameInfo> info = game(record);
        if (!info)
            return info.error();
        if (info->length < 0)
            continue;
        if (const Status rated = rateRounds(m_rounds.takeAll(record)); !rated)
            return rated;
        m_roundSoFar.remove(record);
        m_sides.remove(record);
    }
    return {};
}
