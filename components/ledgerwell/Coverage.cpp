#include "Coverage.h"

#include "TextRules.h"

#include <cstdio>

namespace ledgerwell {

bool isStoredKind(EventKind kind)
{
    switch (kind) {
    case EventKind::KilledOther:
    case EventKind::Blinded:
    case EventKind::PlayerOther:
    case EventKind::RoundStats:
    case EventKind::ServerMessage:
    case EventKind::TeamOther:
    case EventKind::CvarsStart:
    case EventKind::CvarsEnd:
        return false;
    default:
        return true;
    }
}

void Coverage::beginServer()
{
    // Each log is a server of its own, as if it came from its own address.
    m_server = &m_ledger.server("0.0.0.0", std::to_string(++m_servers), "", m_rows);
}

Coverage::Outcome Coverage::addLine(std::string_view bytes, const std::string &source)
{
    if (!m_server)
        beginServer();
    std::string decoded;
    bytes = asUtf8(bytes, decoded);
    const LineParse parsed = parseLine(bytes, m_server);
    if (!parsed.ok) {
        Tally &tally = m_kinds[parsed.rejected];
        ++tally.rejected;
        if (tally.examples.size() < ExamplesPerKind)
            tally.examples.push_back(source + ": " + noteExcerpt(bytes, 200));
        return Outcome::Rejected;
    }
    const Event &event = parsed.line.event;
    const bool console = !event.actor.id.empty() && isConsole(event.actor);
    std::string kind = console ? "console" : eventKindName(event.kind);
    if (event.kind == EventKind::PlayerOther && !console)
        kind += ": " + storedText(event.text, 24); // which action, so nothing hides here
    Tally &tally = m_kinds[kind];
    m_ledger.score(*m_server, parsed.line, m_rows);
    if (m_rows.steps().size() > 10000)
        m_rows = RowBatch(); // the rows are not written; only the scoring state matters
    if (console || !isStoredKind(event.kind)) {
        ++tally.ignored;
        return Outcome::Ignored;
    }
    ++tally.understood;
    return Outcome::Understood;
}

Coverage::Tally Coverage::total() const
{
    Tally sum;
    for (const auto &[kind, tally] : m_kinds) {
        sum.understood += tally.understood;
        sum.ignored += tally.ignored;
        sum.rejected += tally.rejected;
    }
    return sum;
}

std::string Coverage::report() const
{
    std::string text;
    char row[160];
    std::snprintf(row, sizeof row, "%-40s %11s %11s %11s\n", "kind", "understood", "ignored",
                  "rejected");
    text += row;
    const auto line = [&](const std::string &kind, const Tally &tally) {
        std::snprintf(row, sizeof row, "%-40s %11llu %11llu %11llu\n", kind.c_str(),
                      static_cast<unsigned long long>(tally.understood),
                      static_cast<unsigned long long>(tally.ignored),
                      static_cast<unsigned long long>(tally.rejected));
        text += row;
    };
    for (const auto &[kind, tally] : m_kinds)
        line(kind, tally);
    line("total", total());
    for (const auto &[kind, tally] : m_kinds) {
        if (tally.rejected == 0)
            continue;
        text += "\nrejected " + kind + ":\n";
        for (const std::string &example : tally.examples)
            text += "  " + example + "\n";
    }
    return text;
}

} // namespace ledgerwell
