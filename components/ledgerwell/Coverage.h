#pragma once

#include "Ledger.h"
#include "LogLine.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace ledgerwell {

// What Ledgerwell makes of a log: every line read as a server's datagram would be, counted
// by kind as stored (understood), read and left alone on purpose (ignored) or not read
// (rejected), with the first examples of each rejected kind.
class Coverage
{
public:
    enum class Outcome { Understood, Ignored, Rejected };

    struct Tally
    {
        std::uint64_t understood = 0, ignored = 0, rejected = 0;
        std::vector<std::string> examples; // rejected lines, "source: text"
    };

    // One server's log, line by line, in order.
    void beginServer();
    Outcome addLine(std::string_view bytes, const std::string &source);

    const std::map<std::string, Tally> &kinds() const { return m_kinds; }
    Tally total() const;
    // A table for people: one row per kind, the totals, then the rejected examples.
    std::string report() const;

    static constexpr std::size_t ExamplesPerKind = 3;

private:
    Ledger m_ledger;
    RowBatch m_rows;
    ServerState *m_server = nullptr;
    int m_servers = 0;
    std::map<std::string, Tally> m_kinds;
};

// Whether a line of this kind is stored, or read and left alone on purpose.
bool isStoredKind(EventKind kind);

} // namespace ledgerwell
