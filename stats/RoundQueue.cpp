#include "RoundQueue.h"

#include <limits>

void RoundQueue::add(const PendingRound &round)
{
    if (!m_rated.contains(round.record))
        m_rounds[round.game] << round;
}

QList<PendingRound> RoundQueue::take(qint64 game, qint64 offset)
{
    QList<PendingRound> due;
    const auto found = m_rounds.find(game);
    if (found == m_rounds.end())
        return due;
    while (!found->isEmpty() && found->first().offset < offset) {
        due << found->takeFirst();
        m_rated.insert(due.last().record);
    }
    if (found->isEmpty())
        m_rounds.erase(found);
    return due;
}

QList<PendingRound> RoundQueue::takeBefore(qint64 game, qint64 offset)
{
    return take(game, offset);
}

QList<PendingRound> RoundQueue::takeMarked(const QString &trigger, qint64 offset)
{
    const PendingRound *marked = nullptr;
    for (const QList<PendingRound> &rounds : std::as_const(m_rounds)) {
        for (const PendingRound &round : rounds) {
            if (round.trigger == trigger && round.offset == offset &&
                (!marked || round.record < marked->record))
                marked = &round;
        }
    }
    if (!marked)
        return {};
    const qint64 game = marked->game, record = marked->record;
    QList<PendingRound> due;
    QList<PendingRound> &rounds = m_rounds[game];
    while (!rounds.isEmpty() && rounds.first().record <= record) {
        due << rounds.takeFirst();
        m_rated.insert(due.last().record);
    }
    if (rounds.isEmpty())
        m_rounds.remove(game);
    return due;
}

QList<PendingRound> RoundQueue::takeAll(qint64 game)
{
    return take(game, std::numeric_limits<qint64>::max());
}

qint64 RoundQueue::cursor(qint64 readUpTo) const
{
    qint64 first = readUpTo + 1;
    for (const QList<PendingRound> &rounds : m_rounds) {
        for (const PendingRound &round : rounds)
            first = std::min(first, round.record);
    }
    return first - 1;
}

QList<qint64> RoundQueue::ratedPast(qint64 readUpTo)
{
    const qint64 below = cursor(readUpTo);
    QList<qint64> records;
    for (auto it = m_rated.begin(); it != m_rated.end();) {
        if (*it <= below) {
            it = m_rated.erase(it);
            continue;
        }
        records << *it;
        ++it;
    }
    return records;
}
