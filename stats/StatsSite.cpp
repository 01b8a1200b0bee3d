#include "StatsSite.h"

#include "StatsConnection.h"

#include <QHash>
#include <QSet>

#include <atomic>

namespace {

// The connections a thread opened, closed when the thread ends.
class ThreadConnections
{
public:
    ~ThreadConnections()
    {
        for (auto it = m_queries.begin(); it != m_queries.end(); ++it) {
            it->reset(); // its copy of the connection first
            QSqlDatabase::removeDatabase(m_names.value(it.key()));
        }
    }
    QHash<const StatsSite *, std::shared_ptr<StatsQueries>> m_queries;
    QHash<const StatsSite *, QString> m_names;
};

thread_local ThreadConnections connections;
std::atomic<int> threadNumbers{0};
thread_local int threadNumber = ++threadNumbers;

} // namespace

Result<std::unique_ptr<StatsSite>> StatsSite::open(const QString &connString, int index)
{
    std::unique_ptr<StatsSite> site(new StatsSite);
    site->m_label = databaseLabel(connString);
    site->m_connString = connString;
    site->m_index = index;
    // Whether it can be read at all, before anything is served.
    const QString probe = QStringLiteral("probe-%1").arg(index);
    {
        const Result<QSqlDatabase> db = openStatsConnection(connString, probe, Access::ReadOnly);
        if (!db)
            return ErrorInfo{0,
                             QStringLiteral("%1: %2").arg(site->m_label, db.error().description)};
    }
    QSqlDatabase::removeDatabase(probe);

    auto *writer =
        new StandingsWriter(connString, QStringLiteral("writer-%1").arg(index), site->m_status);
    writer->moveToThread(&site->m_thread);
    QObject::connect(&site->m_thread, &QThread::started, writer, &StandingsWriter::start);
    QObject::connect(&site->m_thread, &QThread::finished, writer, &QObject::deleteLater);
    site->m_thread.start();
    return site;
}

Result<const StatsQueries *> StatsSite::queries() const
{
    if (const auto found = connections.m_queries.constFind(this);
        found != connections.m_queries.cend())
        return found->get();
    const QString name = QStringLiteral("pages-%1-%2").arg(m_index).arg(threadNumber);
    const Result<QSqlDatabase> db = openStatsConnection(m_connString, name, Access::ReadOnly);
    if (!db) {
        QSqlDatabase::removeDatabase(name);
        return db.error();
    }
    auto queries = std::make_shared<StatsQueries>(*db);
    connections.m_queries.insert(this, queries);
    connections.m_names.insert(this, name);
    return queries.get();
}

Result<PlayerOrder> StatsSite::rankOrder(const StatsQueries &queries,
                                         const PageRequest &request) const
{
    const qint64 generation = status().stores;
    const Result<PlayerOrder> ranked =
        m_orders.get(request.scope + QLatin1Char('\n') + request.sort, generation,
                     [&] { return queries.rankedPlayers(request); });
    if (!ranked || request.search.isEmpty())
        return ranked;
    const Result<std::shared_ptr<const SearchTexts>> texts =
        m_texts.get(request.scope, generation, [&] { return queries.searchTexts(request.scope); });
    if (!texts)
        return texts.error();
    // The few who match first, then the ranking's order among them.
    const QString wanted = request.search.toCaseFolded();
    QSet<qint64> matching;
    for (const auto &[player, text] : **texts) {
        if (text.contains(wanted))
            matching.insert(player);
    }
    auto found = std::make_shared<std::vector<qint64>>();
    for (const qint64 player : **ranked) {
        if (found->size() == std::size_t(matching.size()))
            break;
        if (matching.contains(player))
            found->push_back(player);
    }
    return PlayerOrder(std::move(found));
}

StatsSite::~StatsSite()
{
    m_thread.quit();
    m_thread.wait();
}
