#pragma once

#include <vector>

// A player's skill as a belief: most likely Mu, uncertain by Sigma. New players start at
// Mu 25, Sigma 25/3; the shown rating is the cautious Mu - 3 Sigma, which a player only
// raises by showing the same strength again and again.
struct Skill
{
    double mu = 25.0;
    double sigma = 25.0 / 3.0;

    double rating() const { return mu - 3.0 * sigma; }
};

// One contest won by `winners` over `losers` (a kill: one against one; a round: team against
// team), as the Bradley-Terry full-pair update of Weng and Lin's Bayesian approximation
// ranks two teams. A team's strength is the sum of its members'; each member moves by his
// share of the team's uncertainty, so the one we know least about learns most.
void rateContest(const std::vector<Skill *> &winners, const std::vector<Skill *> &losers);
