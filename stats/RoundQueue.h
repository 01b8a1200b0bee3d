#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

// A round result read but not yet rated.
struct PendingRound
{
    qint64 record = 0;
    qint64 game = 0;
    qint64 offset = 0; // seconds from the game's start to the round's end
    QString winner;
    QString score;
    QString trigger; // the Result: the trigger that ended it, also the Type of its Scores row
};

// Round results wait here until their place among the kills is known: a round is rated
// after every kill of its game up to its end and before the first one after it, so it is
// rated at the same point whether the rows were read as they came or long after.
class RoundQueue
{
public:
    void add(const PendingRound &round);
    // The game's rounds that ended before `offset`, in Record order, taken out.
    QList<PendingRound> takeBefore(qint64 game, qint64 offset);
    // The round whose own Scores row this is (a team or world trigger at the round's end,
    // written from the same line), with the rounds of its game before it.
    QList<PendingRound> takeMarked(const QString &trigger, qint64 offset);
    // All of the game's rounds: it is over, nothing more of it will come.
    QList<PendingRound> takeAll(qint64 game);
    QList<qint64> games() const { return m_rounds.keys(); }

    // Rounds are read in Record order but rated in the order of their games' kills: the
    // cursor stays below the first one waiting, and those after it that were rated already
    // are named, so a restart neither loses nor repeats one.
    qint64 cursor(qint64 readUpTo) const;
    QList<qint64> ratedPast(qint64 readUpTo); // forgets those below the cursor
    void restoreRated(qint64 record) { m_rated.insert(record); }
    bool rated(qint64 record) const { return m_rated.contains(record); }

private:
    QList<PendingRound> take(qint64 game, qint64 offset);

    QHash<qint64, QList<PendingRound>> m_rounds; // by game, in Record order
    QSet<qint64> m_rated;
};
