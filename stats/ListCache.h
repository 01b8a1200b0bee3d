#pragma once

#include "platform/Result.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QString>

#include <functional>
#include <memory>

// Lists read from the database once and shared by every page thread until the writer has
// stored new standings, or until they are half a minute old (another program may write the
// same tables). The least recently used list goes first when the cache is full.
template <typename List> class ListCache
{
public:
    using Shared = std::shared_ptr<const List>;
    using Loader = std::function<Result<List>()>;

    explicit ListCache(int capacity)
        : m_capacity(capacity)
    {
    }

    // The list for `key`, read with `load` when there is none for `generation` yet.
    Result<Shared> get(const QString &key, qint64 generation, const Loader &load)
    {
        // One reader at a time: a second page asking for the same list waits for the first
        // instead of reading it again.
        QMutexLocker lock(&m_mutex);
        if (auto found = m_entries.find(key); found != m_entries.end()) {
            if (found->generation == generation && !found->age.hasExpired(MaxAgeMs)) {
                found->lastUse = ++m_uses;
                return found->list;
            }
            m_entries.erase(found);
        }
        Result<List> loaded = load();
        if (!loaded)
            return loaded.error();
        while (m_entries.size() >= m_capacity)
            m_entries.erase(leastRecentlyUsed());
        Entry entry{std::make_shared<const List>(std::move(*loaded)), generation, {}, ++m_uses};
        entry.age.start();
        m_entries.insert(key, entry);
        return entry.list;
    }

private:
    static constexpr qint64 MaxAgeMs = 30000;

    struct Entry
    {
        Shared list;
        qint64 generation = 0;
        QElapsedTimer age;
        qint64 lastUse = 0;
    };

    typename QHash<QString, Entry>::iterator leastRecentlyUsed()
    {
        auto oldest = m_entries.begin();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->lastUse < oldest->lastUse)
                oldest = it;
        }
        return oldest;
    }

    const int m_capacity;
    QMutex m_mutex;
    QHash<QString, Entry> m_entries;
    qint64 m_uses = 0;
};
