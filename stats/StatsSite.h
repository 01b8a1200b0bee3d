#pragma once

#include "StandingsWriter.h"
#include "StatsQueries.h"

#include <QThread>

#include <memory>

// One database the pages show: its page connection and the writer that keeps its standings,
// running in a thread of its own.
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

private:
    StatsSite() = default;

    QString m_label;
    QString m_connString;
    int m_index = 0;
    std::shared_ptr<WriterStatus> m_status = std::make_shared<WriterStatus>();
    QThread m_thread;
};
