#pragma once

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
    Result<GameInfo> game(qint64 record);
    Result<std::optional<QSet<qint64>>> playersInRound(qint64 game, const GameInfo &info,
                                                       const QString &ended);
    Status learnPlayer(qint64 record);
    void fail(const QString &what, const ErrorInfo &error);

    QString m_connString;
    QString m_connectionName;
    std::shared_ptr<WriterStatus> m_status;
    QSqlDatabase m_db;
    std::unique_ptr<StandingsStore> m_store;
    std::optional<Standings> m_standings;
    QHash<QString, qint64> m_cursors;
    QHash<qint64, GameInfo> m_games;
    QHash<qint64, QList<QVariantList>> m_roundKills; // a game's kills, while its rounds are read
    bool m_hasKills = false, m_hasResults = false;
    QTimer m_timer;
    QElapsedTimer m_sinceFlush;
};
