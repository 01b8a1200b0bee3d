#pragma once

#include "RoundState.h"
#include "Standings.h"
#include "platform/Result.h"

#include <QSqlDatabase>

// The Stats_* tables as the writer reads them back at start and writes its changes into.
class StandingsStore
{
public:
    explicit StandingsStore(QSqlDatabase db)
        : m_db(std::move(db))
    {
    }

    // Creates the own tables and the indexes the pages need on the statistics tables, when
    // missing.
    Status prepare();
    // The own tables' indexes, when missing.
    Status createIndexes();
    // True when no standings are stored: a first catch-up.
    Result<bool> empty();
    // Tables another layout wrote (or none) are made anew: everything is computed again.
    Status startOverUnless(qint64 layout);
    Status load(Standings &standings, QHash<QString, qint64> &cursors,
                QHash<qint64, RoundState> &rounds);
    // One transaction: the changes and the cursors that led to them, so a restart goes on
    // exactly where the last flush ended.
    Status flush(Standings &standings, const QHash<QString, qint64> &cursors,
                 const QHash<qint64, RoundState> &rounds);

private:
    Status exec(const QString &sql);
    // The flush's statements, within its transaction.
    Status write(const Standings &standings, const Standings::Changes &changes,
                 const QHash<QString, qint64> &cursors, const QHash<qint64, RoundState> &rounds);

    QSqlDatabase m_db;
};

// The columns of Stats_Games_Players, a game's scoreboard.
extern const QString GameLineColumns;

// The failure of a query, in the engine's words.
ErrorInfo queryError(const class QSqlQuery &query);
