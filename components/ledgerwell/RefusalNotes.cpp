#include "RefusalNotes.h"

namespace ledgerwell {

RefusalNotes::Decision RefusalNotes::refused(const std::string &sender, Clock::time_point now)
{
    auto found = m_senders.find(sender);
    if (found != m_senders.end())
        return decide(found->second, true, now);
    if (m_senders.size() >= Capacity)
        prune(now);
    if (m_senders.size() < Capacity) {
        found = m_senders.emplace(sender, Sender{}).first;
        return decide(found->second, false, now);
    }
    Decision decision = decide(m_others, m_othersSeen, now);
    m_othersSeen = true;
    decision.pooled = true;
    return decision;
}

RefusalNotes::Decision RefusalNotes::decide(Sender &sender, bool known, Clock::time_point now)
{
    if (known && now - sender.noted < Period) {
        ++sender.skipped;
        return {};
    }
    Decision decision{true, false, sender.skipped};
    sender.noted = now;
    sender.skipped = 0;
    return decision;
}

// A sender not noted for a minute would be noted at once anyway, so forgetting it changes
// nothing but the count of its unnoted refusals; the counters keep the totals.
void RefusalNotes::prune(Clock::time_point now)
{
    for (auto it = m_senders.begin(); it != m_senders.end();) {
        if (now - it->second.noted >= Period) {
            it = m_senders.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace ledgerwell
