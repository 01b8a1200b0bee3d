#include "StandingsWriter.h"

#include "SqlRows.h"
#include "StandingsStore.h"
#include "StatsConnection.h"
#include "StatsTables.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QTextStream>

namespace {

constexpr int ScoresBatch = 50000;
constexpr int OtherBatch = 5000;
constexpr int IdleMs = 2000;
// During a catch-up the changes are stored at most this often, not after every batch.
constexpr qint64 FlushEveryMs = 30000;

} // namespace

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
    m_hasKills = hasTable(m_db, QStringLiteral("Ledgerwell_Kills"));
    m_hasResults = hasTable(m_db, QStringLiteral("Ledgerwell_Results"));
    m_standings.emplace();
    m_cursors.clear();
    m_games.clear();
    m_sinceFlush.start();
    return m_store->load(*m_standings, m_cursors);
}

void StandingsWriter::tick()
{
    if (!m_standings) {
        if (const Status prepared = prepare(); !prepared)
            return fail(QStringLiteral("the standings cannot be kept"), prepared.error());
    }
    const Result<int> names = readNames();
    if (!names)
        return fail(QStringLiteral("reading player names"), names.error());
    const Result<int> scores = readScores();
    if (!scores)
        return fail(QStringLiteral("reading Scores"), scores.error());
    const Result<int> results = readResults();
    if (!results)
        return fail(QStringLiteral("reading round results"), results.error());

    const bool more = *names == OtherBatch || *scores == ScoresBatch || *results == OtherBatch;
    if (m_standings->changed() && (!more || m_sinceFlush.elapsed() > FlushEveryMs)) {
        if (const Status flushed = m_store->flush(*m_standings, m_cursors); !flushed)
            return fail(QStringLiteral("storing the standings"), flushed.error());
        m_sinceFlush.restart();
    }
    WriterStatus::Snapshot state = m_status->snapshot();
    state.caughtUp = !more && !m_standings->changed();
    state.scores += *scores;
    state.error.clear();
    m_status->set(state);
    m_timer.start(more ? 0 : IdleMs);
}

Status StandingsWriter::learnPlayer(qint64 record)
{
    if (m_standings->knows(record))
        return {};
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT Player FROM Players WHERE Record = ?"));
    query.addBindValue(record);
    if (!query.exec())
        return queryError(query);
    PlayerInfo &info = m_standings->player(record);
    if (query.next())
        info.steam = query.value(0).toString();
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
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "SELECT g.Patch_Name, g.Game_Start_Date_Time, (SELECT MIN(sg.Server) FROM Servers_Games "
        "sg WHERE sg.Game = g.Record) FROM Games g WHERE g.Record = ?"));
    query.addBindValue(record);
    if (!query.exec())
        return queryError(query);
    GameInfo info;
    if (query.next()) {
        if (!query.value(2).isNull())
            info.scopes << QStringLiteral("server:") + query.value(2).toString();
        if (!query.value(0).toString().isEmpty())
            info.scopes << QStringLiteral("mod:") + query.value(0).toString();
        info.start = dateText(query.value(1));
    }
    m_games.insert(record, info);
    return info;
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
    const Result<QList<Row>> rows =
        selectRows(m_db,
                   QStringLiteral("SELECT s.Record, s.Killer, s.Victim, t.Type, s.Weapon, "
                                  "s.Score, %1, %2 LEFT JOIN Types t ON t.Record = s.Type "
                                  "WHERE s.Record > ? ORDER BY s.Record LIMIT ?")
                       .arg(offset, kills),
                   {m_cursors.value(QStringLiteral("scores")), ScoresBatch});
    if (!rows)
        return rows.error();
    for (const Row &row : *rows) {
        ScoreEvent event;
        event.killer = row.at(1).toLongLong();
        event.victim = row.at(2).toLongLong();
        event.type = row.at(3).toString();
        event.weapon = row.at(4).toLongLong();
        event.score = row.at(5).toLongLong();
        event.offset = qint64(row.at(6).toDouble());
        event.game = row.at(7).toLongLong();
        event.headshot = row.at(8).toLongLong() == 1;
        for (const qint64 player : {event.killer, event.victim}) {
            if (player <= 0)
                continue;
            if (const Status learned = learnPlayer(player); !learned)
                return learned.error();
        }
        const qint64 gameRecord = m_standings->gameOf(event);
        const Result<GameInfo> info = game(gameRecord);
        if (!info)
            return info.error();
        m_standings->apply(event, *info, gameRecord);
        m_cursors[QStringLiteral("scores")] = row.at(0).toLongLong();
    }
    return int(rows->size());
}

// Who played a round: the players of the game who killed or died in the five minutes before
// it ended. A game's team lists name everyone who was ever there (a bot kicked after the
// warm-up too), and round results name only the winning team. Nothing when the times
// are missing: then every player of the game counts.
Result<std::optional<QSet<qint64>>>
StandingsWriter::playersInRound(qint64 game, const GameInfo &info, const QString &ended)
{
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    const QDateTime start = QDateTime::fromString(info.start, format);
    const QDateTime end = QDateTime::fromString(ended, format);
    if (!m_hasKills || !start.isValid() || !end.isValid())
        return std::optional<QSet<qint64>>();
    if (!m_roundKills.contains(game)) {
        const QString offset = dialectOf(m_db) == Dialect::Postgres
                                   ? QStringLiteral("s.\"offset\"")
                                   : QStringLiteral("s.\"Offset\"");
        const Result<QList<Row>> kills = selectRows(
            m_db,
            QStringLiteral("SELECT s.Killer, s.Victim, %1 FROM Ledgerwell_Kills k JOIN Scores s ON "
                           "s.Record = k.Score WHERE k.Game = ?")
                .arg(offset),
            {game});
        if (!kills)
            return kills.error();
        m_roundKills.insert(game, *kills);
    }
    const double roundEnd = double(start.secsTo(end));
    QSet<qint64> players;
    for (const Row &kill : m_roundKills.value(game)) {
        const double at = kill.at(2).toDouble();
        if (at > roundEnd - 300 && at <= roundEnd + 5)
            players << kill.at(0).toLongLong() << kill.at(1).toLongLong();
    }
    return std::optional<QSet<qint64>>(players);
}

Result<int> StandingsWriter::readResults()
{
    if (!m_hasResults)
        return 0;
    m_roundKills.clear();
    const Result<QList<Row>> rows = selectRows(
        m_db,
        QStringLiteral("SELECT Record, Game, Kind, Team, Date_Time FROM Ledgerwell_Results WHERE "
                       "Record > ? ORDER BY Record LIMIT ?"),
        {m_cursors.value(QStringLiteral("results")), OtherBatch});
    if (!rows)
        return rows.error();
    for (const Row &row : *rows) {
        m_cursors[QStringLiteral("results")] = row.at(0).toLongLong();
        if (row.at(2).toString() != QLatin1String("round") || row.at(3).isNull())
            continue;
        RoundEvent round{row.at(1).toLongLong(), row.at(3).toString(), {}};
        const Result<QList<Row>> teams =
            selectRows(m_db,
                       QStringLiteral("SELECT gpt.Player, t.Team FROM Games_Players_Teams gpt "
                                      "JOIN Teams t ON t.Record = gpt.Team WHERE gpt.Game = ?"),
                       {round.game});
        if (!teams)
            return teams.error();
        const Result<GameInfo> info = game(round.game);
        if (!info)
            return info.error();
        const Result<std::optional<QSet<qint64>>> active =
            playersInRound(round.game, *info, dateText(row.at(4)));
        if (!active)
            return active.error();
        for (const Row &team : *teams) {
            const qint64 player = team.at(0).toLongLong();
            if (*active && !(*active)->contains(player))
                continue;
            if (const Status learned = learnPlayer(player); !learned)
                return learned.error();
            round.teams[player].insert(team.at(1).toString());
        }
        m_standings->apply(round, *info);
    }
    return int(rows->size());
}
