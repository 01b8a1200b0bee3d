#include "StandingsWriter.h"

#include "StandingsStore.h"
#include "StatsConnection.h"
#include "StatsTables.h"

#include <QSqlQuery>
#include <QTextStream>

namespace {

constexpr int ScoresBatch = 50000;
constexpr int OtherBatch = 5000;
constexpr int IdleMs = 2000;
// During a catch-up the changes are stored at most this often, not after every batch.
constexpr qint64 FlushEveryMs = 10000;

} // namespace

StandingsWriter::StandingsWriter(QString connString, QString connectionName,
                                 std::shared_ptr<WriterStatus> status)
    : m_connString(std::move(connString))
    , m_connectionName(std::move(connectionName))
    , m_status(std::move(status))
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
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
        "SELECT gpc.Record, gpc.Player, c.Val FROM Games_Players_Cvars gpc "
        "JOIN Cvars c ON c.Record = gpc.Cvar WHERE gpc.Record > ? AND c.Cvar = 'name' "
        "ORDER BY gpc.Record LIMIT ?"));
    query.addBindValue(m_cursors.value(QStringLiteral("names")));
    query.addBindValue(OtherBatch);
    if (!query.exec())
        return queryError(query);
    int rows = 0;
    while (query.next()) {
        ++rows;
        const qint64 player = query.value(1).toLongLong();
        if (const Status learned = learnPlayer(player); !learned)
            return learned.error();
        m_standings->rename(player, query.value(2).toString());
        m_cursors[QStringLiteral("names")] = query.value(0).toLongLong();
    }
    return rows;
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
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT s.Record, s.Killer, s.Victim, t.Type, s.Weapon, "
                                 "s.Score, %1, %2 LEFT JOIN Types t ON t.Record = s.Type "
                                 "WHERE s.Record > ? ORDER BY s.Record LIMIT ?")
                      .arg(offset, kills));
    query.addBindValue(m_cursors.value(QStringLiteral("scores")));
    query.addBindValue(ScoresBatch);
    if (!query.exec())
        return queryError(query);
    int rows = 0;
    while (query.next()) {
        ++rows;
        ScoreEvent event;
        event.killer = query.value(1).toLongLong();
        event.victim = query.value(2).toLongLong();
        event.type = query.value(3).toString();
        event.weapon = query.value(4).toLongLong();
        event.score = query.value(5).toLongLong();
        event.offset = qint64(query.value(6).toDouble());
        event.game = query.value(7).toLongLong();
        event.headshot = query.value(8).toLongLong() == 1;
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
        m_cursors[QStringLiteral("scores")] = query.value(0).toLongLong();
    }
    return rows;
}

Result<int> StandingsWriter::readResults()
{
    if (!m_hasResults)
        return 0;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT Record, Game, Kind, Team FROM Ledgerwell_Results "
                                 "WHERE Record > ? ORDER BY Record LIMIT ?"));
    query.addBindValue(m_cursors.value(QStringLiteral("results")));
    query.addBindValue(OtherBatch);
    if (!query.exec())
        return queryError(query);
    QList<RoundEvent> rounds;
    int rows = 0;
    while (query.next()) {
        ++rows;
        m_cursors[QStringLiteral("results")] = query.value(0).toLongLong();
        if (query.value(2).toString() == QLatin1String("round") && !query.value(3).isNull())
            rounds.append({query.value(1).toLongLong(), query.value(3).toString(), {}});
    }
    QSqlQuery teams(m_db);
    teams.prepare(QStringLiteral("SELECT gpt.Player, t.Team FROM Games_Players_Teams gpt "
                                 "JOIN Teams t ON t.Record = gpt.Team WHERE gpt.Game = ?"));
    for (RoundEvent &round : rounds) {
        teams.addBindValue(round.game);
        if (!teams.exec())
            return queryError(teams);
        while (teams.next()) {
            const qint64 player = teams.value(0).toLongLong();
            if (const Status learned = learnPlayer(player); !learned)
                return learned.error();
            round.teams[player].insert(teams.value(1).toString());
        }
        const Result<GameInfo> info = game(round.game);
        if (!info)
            return info.error();
        m_standings->apply(round, *info);
    }
    return rows;
}
