#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace ledgerwell {

// Which refused datagrams are noted in the log file: a sender's first at once, then at most
// one a minute with the number refused in between, so a flood of spoofed datagrams cannot
// fill the disk. At most Capacity senders are remembered; past that (spoofed addresses are
// cheap) refusals from new senders are counted together under one name.
class RefusalNotes
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::minutes Period{1};
    static constexpr std::size_t Capacity = 256;

    struct Decision
    {
        bool note = false;
        bool pooled = false;       // the sender is counted with the others past Capacity
        std::uint64_t skipped = 0; // refused and not noted since the last note
    };

    Decision refused(const std::string &sender, Clock::time_point now);
    std::size_t remembered() const { return m_senders.size(); }

private:
    struct Sender
    {
        Clock::time_point noted;
        std::uint64_t skipped = 0;
    };

    void prune(Clock::time_point now);
    Decision decide(Sender &sender, bool known, Clock::time_point now);

    std::unordered_map<std::string, Sender> m_senders;
    Sender m_others;
    bool m_othersSeen = false;
};

} // namespace ledgerwell
