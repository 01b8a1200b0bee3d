#pragma once

#include "GamePlacement.h"
#include "RoundQueue.h"
#include "RoundSides.h"
#include "RoundState.h"
#include "SqlRows.h"
#include "Standings.h"
#include "platform/Result.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QSqlDatabase>
#include <QTimer>

#include <memory>
#include <optional>

class StandingsStore;

// What the pages may know of a writer, shared across threads.
class WriterStatus
{
public:
    struct Snapshot
    {
        bool caughtUp = false; // everything the source tables held at the last look is stored
        qint64 scores = 0;     // Scores rows read so far
        qint64 stores = 0;     // times new standings were stored: what the pages read changed
        QString error;
    };
    Snapshot snapshot() const
    {
        QMutexLocker lock(&m_mutex);
        return m_state;
    }
    void set(const Snapshot &state)
    {
        QMutexLocker lock(&m_mutex);
        m_state = state;
    }

private:
    mutable QMutex m_mutex;
    Snapshot m_state;
};

// Keeps one database's standings and ratings up to date: reads the statistics tables past
// its cursors in Record order, a batch at a time, and stores what changed in the Stats_*
// tables. It lives in a thread of its own with its own connection, so a long catch-up never
// holds up a page.
class StandingsWriter : public QObject
{
    Q_OBJECT
public:
    StandingsWriter(QString connString, QString connectionName,
                    std::shared_ptr<WriterStatus> status);
    ~StandingsWriter() override;

public slots:
    void start();

private:
    void tick();
    Status prepare();
    // Each returns how many source rows it read.
    Result<int> readNames();
    Result<int> readScores();
    Result<int> readResults();
    using Joins = QList<std::pair<qint64, QString>>;
    // The questions asked of every player and game met, prepared once.
    struct Questions
    {
        explicit Questions(const QSqlDatabase &db);
        RepeatedSelect player, game, games, type, joins;
    };
    Result<Joins> joinsOf(qint64 game);
    Status rateRounds(const QList<PendingRound> &rounds);
    // Rounds of games that are over: no kill of theirs is still to come.
    Status rateEndedGames();
    Result<GameInfo> game(qint64 record);
    Result<QList<qint64>> gamesOf(qint64 player);
    Result<QString> typeName(qint64 record);
    Status learnPlayer(qint64 record);
    void restoreCursors();
    void storeCursors();
    QHash<qint64, RoundState> openRounds() const;
    void fail(const QString &what, const ErrorInfo &error);

    QString m_connString;
    QString m_connectionName;
    std::shared_ptr<WriterStatus> m_status;
    QSqlDatabase m_db;
    std::unique_ptr<StandingsStore> m_store;
    std::optional<Questions> m_ask;
    std::optional<Standings> m_standings;
    QHash<QString, qint64> m_cursors;
    QHash<qint64, GameInfo> m_games;
    std::optional<GamePlacement> m_placement;
    RoundQueue m_rounds;
    qint64 m_resultsRead = 0;
    QHash<qint64, QString> m_types; // Types.Type by record
    QHash<qint64, Joins> m_joins;   // the teams each game's players joined, read this batch
    QHash<qint64, RoundEvidence> m_roundSoFar; // a game's kills and bomb since its last round
    QHash<qint64, SideState> m_sides;
    QSet<QString> m_roundTriggers; // the triggers that ended rounds
    qint64 m_waitedAt = 0;         // the Scores row results were last read again for
    bool m_readAgain = false;      // the last Scores batch stopped there
    bool m_hasKills = false, m_hasResults = false;
    bool m_indexesDue = false; // the own tables' indexes wait for the catch-up's end
    QTimer m_timer;
    QElapsedTimer m_sinceFlush;
    qint64 m_flushEveryMs = 0;
};
