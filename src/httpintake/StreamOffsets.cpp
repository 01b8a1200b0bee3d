#include "StreamOffsets.h"

StreamOffsets::Plan StreamOffsets::plan(const QByteArray &stream, qint64 begin, qint64 end,
                                        const QByteArray &body) const
{
    const auto found = m_streams.constFind(stream);
    if (found == m_streams.cend())
        return {begin, 0};
    const Entry &entry = *found;
    if (begin == entry.lastBegin && end == entry.lastEnd && qHash(body) == entry.lastBody)
        return {entry.lastUpTo, 0}; // the same post again: what it had taken stays taken
    if (begin > entry.next)
        return {begin, begin - entry.next};
    if (begin == 0)
        return {0, 0};      // a new map's log
    return {entry.next, 0}; // overlaps what was taken: only the rest is new
}

void StreamOffsets::taken(const QByteArray &stream, qint64 begin, qint64 end,
                          const QByteArray &body, qint64 upTo)
{
    auto found = m_streams.find(stream);
    if (found == m_streams.end()) {
        if (m_streams.size() >= MaxStreams) {
            m_streams.remove(m_ages.back());
            m_ages.pop_back();
        }
        m_ages.push_front(stream);
        found = m_streams.insert(stream, Entry{});
        found->age = m_ages.begin();
    } else {
        m_ages.splice(m_ages.begin(), m_ages, found->age);
    }
    found->next = upTo;
    found->lastBegin = begin;
    found->lastEnd = end;
    found->lastBody = qHash(body);
    found->lastUpTo = upTo;
}
