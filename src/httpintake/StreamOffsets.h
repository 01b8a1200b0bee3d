#pragma once

#include <QByteArray>
#include <QHash>

#include <list>

// Where each server's log stream has been taken up to, by the byte offsets its posts carry,
// so a post the server sends again is written once and a post that skips bytes is noticed.
// The offsets start again from 0 at every map load, so a post is known as sent again by its
// content as well: the same range with the same body. Remembers a bounded number of streams;
// one forgotten is taken as new.
class StreamOffsets
{
public:
    static constexpr qsizetype MaxStreams = 4096;

    // What to do with a post.
    struct Plan
    {
        qint64 takeFrom = 0; // lines ending at or before this offset were taken already
        qint64 gap = 0;      // bytes the stream skipped before this post, 0 when none
    };

    Plan plan(const QByteArray &stream, qint64 begin, qint64 end, const QByteArray &body) const;
    // The post [begin, end) with this body is taken up to the offset.
    void taken(const QByteArray &stream, qint64 begin, qint64 end, const QByteArray &body,
               qint64 upTo);

private:
    struct Entry
    {
        qint64 next = 0; // everything before was taken
        qint64 lastBegin = -1, lastEnd = -1;
        size_t lastBody = 0; // the last post's content, to know it when it comes again
        qint64 lastUpTo = 0;
        std::list<QByteArray>::iterator age;
    };
    QHash<QByteArray, Entry> m_streams;
    std::list<QByteArray> m_ages; // most recently used first
};
