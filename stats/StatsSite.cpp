#include "StatsSite.h"

#include "StatsConnection.h"

Result<std::unique_ptr<StatsSite>> StatsSite::open(const QString &connString, int index)
{
    std::unique_ptr<StatsSite> site(new StatsSite);
    site->m_label = databaseLabel(connString);
    site->m_connectionName = QStringLiteral("pages-%1").arg(index);
    const Result<QSqlDatabase> db =
        openStatsConnection(connString, site->m_connectionName, Access::ReadOnly);
    if (!db)
        return ErrorInfo{0, QStringLiteral("%1: %2").arg(site->m_label, db.error().description)};
    site->m_queries = std::make_unique<StatsQueries>(*db);

    auto *writer =
        new StandingsWriter(connString, QStringLiteral("writer-%1").arg(index), site->m_status);
    writer->moveToThread(&site->m_thread);
    QObject::connect(&site->m_thread, &QThread::started, writer, &StandingsWriter::start);
    QObject::connect(&site->m_thread, &QThread::finished, writer, &QObject::deleteLater);
    site->m_thread.start();
    return site;
}

StatsSite::~StatsSite()
{
    m_thread.quit();
    m_thread.wait();
    m_queries.reset();
    QSqlDatabase::removeDatabase(m_connectionName);
}
