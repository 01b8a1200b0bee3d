#pragma once

// The rounds of a match: where the match proper starts, the score's halves, the sides each
// round was played on, and the strip of rounds the page shows.

#include "MatchTally.h"
#include "RoundSides.h"

#include <QJsonArray>

#include <optional>

// Where the match proper starts: after warm-up and restarts, at the last "Match_Start"
// before its last round ended (servers start another after "Game Over").
qsizetype matchStart(const QList<MatchEvent> &events, const QList<MatchRound> &rounds);

// A server that loads a round's backup ("Match_Reloaded") plays on from that round with the
// backup's score, as if the rounds after it had never been: those rounds go, and what happened
// in them from the start of the first, except the teams joined, which say the sides from then on.
void dropRestoredRounds(QList<MatchEvent> &events, QList<MatchRound> &rounds);

// A "CT:T" score as its two numbers.
std::optional<std::pair<int, int>> parsedScore(const QString &score);

// The round's kills and bomb as the side rules read them.
RoundEvidence roundEvidence(const RoundLog &round);

// The rounds from `from` on, numbered from 1, with how each ended and where sides swapped.
QJsonArray roundList(const QList<MatchRound> &rounds, int from);
