#pragma once

#include "ListCache.h"
#include "StandingsWriter.h"
#include "StatsQueries.h"

#include <QThread>

#include <memory>

// One database the pages show: its page connection and the writer that keeps its standings,
// running in a thread of its own.
using PlayerOrder = std::shared_ptr<const std::vector<qint64>>;

class StatsSite
{
public:
    // Opens the page connection and starts the writer; fails when the database cannot be
    // read at all.
    static Result<std::unique_ptr<StatsSite>> open(const QString &connString, int index);
    ~StatsSite();

    QString label() const { return m_label; }
    // The page queries of the calling thread, on a read-only connection of its own (a Qt
    // SQL connection serves the thread that opened it only); opened on first use.
    Result<const StatsQueries *> queries() const;
    WriterStatus::Snapshot status() const { return m_status->snapshot(); }
    // The players the request's ranking shows, best first: with a search, those whose name
    // or Steam id holds it. The lists behind it are read through `queries` once after the
    // writer has stored new standings, so a deep page and a search cost no walk of the table.
    Result<PlayerOrder> rankOrder(const StatsQueries &queries, const PageRequest &request) const;

private:
    StatsSite() = default;

    QString m_label;
    QString m_connString;
    int m_index = 0;
    std::shared_ptr<WriterStatus> m_status = std::make_shared<WriterStatus>();
    mutable ListCache<std::vector<qint64>> m_orders{48}; // 800 KB per 100,000 players
    mutable ListCache<SearchTexts> m_texts{8};           // names to search, by scope
    QThread m_thread;
};
