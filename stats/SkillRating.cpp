#include "SkillRating.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double Beta = 25.0 / 6.0;  // the spread of one performance around the skill
constexpr double Tau = 25.0 / 300.0; // skills drift: uncertainty added before each contest
constexpr double Kappa = 0.0001;     // the smallest factor a variance shrinks by

struct TeamSum
{
    double mu = 0;
    double variance = 0;
};

TeamSum sum(const std::vector<Skill *> &team)
{
    TeamSum total;
    for (const Skill *skill : team) {
        total.mu += skill->mu;
        total.variance += skill->sigma * skill->sigma;
    }
    return total;
}

void update(const std::vector<Skill *> &team, const TeamSum &own, const TeamSum &other,
            double score)
{
    const double c = std::sqrt(own.variance + other.variance + 2.0 * Beta * Beta);
    const double p = 1.0 / (1.0 + std::exp((other.mu - own.mu) / c)); // chance this team wins
    const double omega = own.variance / c * (score - p);
    const double gamma = std::sqrt(own.variance) / c;
    const double delta = gamma * own.variance / (c * c) * p * (1.0 - p);
    for (Skill *skill : team) {
        const double variance = skill->sigma * skill->sigma;
        const double share = variance / own.variance;
        skill->mu += share * omega;
        skill->sigma = std::sqrt(variance * std::max(1.0 - share * delta, Kappa));
    }
}

} // namespace

void rateContest(const std::vector<Skill *> &winners, const std::vector<Skill *> &losers)
{
    if (winners.empty() || losers.empty())
        return;
    for (const auto *team : {&winners, &losers}) {
        for (Skill *skill : *team)
            skill->sigma = std::sqrt(skill->sigma * skill->sigma + Tau * Tau);
    }
    const TeamSum won = sum(winners);
    const TeamSum lost = sum(losers);
    update(winners, won, lost, 1.0);
    update(losers, lost, won, 0.0);
}
