#include "LineGrammar.h"
#include "LineText.h"

namespace ledgerwell {

using namespace linetext;

namespace {

bool onlyBracesAndCommas(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("{}[], ") == std::string_view::npos;
}

// `"key"` at the start of text, the key holding no quote or angle bracket.
bool leadingKey(std::string_view text, std::string_view &key, std::string_view &after)
{
    if (text.empty() || text.front() != '"')
        return false;
    const std::size_t close = text.find('"', 1);
    if (close == std::string_view::npos)
        return false;
    key = text.substr(1, close - 1);
    after = text.substr(close + 1);
    return !containsAnyOf(key, "<>");
}

// `"TEAM" rest` after "Team ".
bool teamEvent(std::string_view rest, Event &event)
{
    if (rest.empty() || rest.front() != '"') {
        event.kind = EventKind::TeamOther; // "Team playing "CT": ..."
        return true;
    }
    const std::size_t close = rest.find('"', 1);
    if (close == std::string_view::npos)
        return false;
    event.text = rest.substr(1, close - 1);
    rest.remove_prefix(close + 1);
    if (takePrefix(rest, " triggered \"")) {
        const std::size_t end = rest.find('"');
        if (end == std::string_view::npos)
            return false;
        event.kind = EventKind::TeamTriggered;
        event.value = rest.substr(0, end);
        return true; // words after the action carry nothing that is stored
    }
    for (const std::string_view detail : {"scored", "current score", "final score"}) {
        std::string_view tail = rest;
        if (!takePrefix(tail, " ") || !takePrefix(tail, detail) || !takePrefix(tail, " \""))
            continue;
        const std::size_t scoreEnd = tail.find('"');
        if (scoreEnd == std::string_view::npos)
            return false;
        event.kind = EventKind::TeamScore;
        event.value = tail.substr(0, scoreEnd);
        event.detail = detail;
        return true; // " with "N" players" carries nothing that is stored
    }
    event.kind = EventKind::TeamOther; // alliances and other team events
    return true;
}

// `World triggered "ACTION"`, then a reason, a map or other words.
bool worldEvent(std::string_view rest, Event &event)
{
    event.kind = EventKind::WorldTriggered;
    if (rest.empty() || rest.front() != '"')
        return false;
    const std::size_t close = rest.find('"', 1);
    if (close == std::string_view::npos)
        return false;
    event.text = rest.substr(1, close - 1);
    rest.remove_prefix(close + 1);
    if (rest.empty())
        return true;
    if (rest.front() != ' ')
        return false;
    rest.remove_prefix(1);
    takePrefix(rest, "reason ") || takePrefix(rest, "on ");
    if (!quotedWhole(rest, event.value, true))
        event.value = rest;
    return true;
}

// `Game Over: competitive mg_active de_inferno score 2:13 after 35 min`
bool gameOver(std::string_view rest, Event &event)
{
    event.kind = EventKind::GameOver;
    const std::size_t score = rfindIgnoreCase(rest, " score ");
    if (score == std::string_view::npos) {
        event.detail = rest;
        return true;
    }
    event.detail = rest.substr(0, score);
    rest.remove_prefix(score + 7);
    event.value = rest.substr(0, rest.find(' '));
    return true;
}

} // namespace

bool quotedServerLine(std::string_view core, Event &event)
{
    std::size_t blanks = 0;
    while (blanks < core.size() && (core[blanks] == ' ' || core[blanks] == '\t'))
        ++blanks;
    const std::string_view text = core.substr(blanks);
    // A round_stats block: its begin and end, and `"key" : "value",` or `"key" : {` between.
    event.kind = EventKind::RoundStats;
    if (startsWithIgnoreCase(text, "JSON_BEGIN")) {
        event.text = "JSON_BEGIN";
        return true;
    }
    if (text.ends_with("JSON_END")) {
        event.text = "JSON_END";
        return true;
    }
    if (onlyBracesAndCommas(text))
        return true;
    event.kind = EventKind::ServerMessage;
    std::string_view key, after;
    if (!leadingKey(text, key, after))
        return false;
    if (after.starts_with(" : ") || after.starts_with(": ") || after == ":" || after == " :") {
        after.remove_prefix(after.find(':') + 1);
        after = after.substr(after.starts_with(' ') ? 1 : 0);
        if (after.ends_with(','))
            after.remove_suffix(1);
        // A value cut short in its quotes would pass a row of figures off as whole.
        if (!quotedWhole(after, event.value, false)) {
            if (hasQuote(after))
                return false;
            event.value = after;
        }
        event.kind = EventKind::RoundStats;
        event.text = key;
        return true;
    }
    std::string_view value;
    if (takePrefix(after, " = ") && quotedWhole(after, value, false)) {
        event.kind = EventKind::Cvar;
        event.text = key;
        event.value = value;
        return true;
    }
    return false;
}

bool serverEvent(std::string_view core, Event &event)
{
    std::string_view rest = core;
    std::string_view value;
    static constexpr struct
    {
        std::string_view text;
        EventKind kind;
    } whole[] = {{"Log file started", EventKind::LogStarted},
                 {"Log file closed", EventKind::LogClosed},
                 {"Server cvars start", EventKind::CvarsStart},
                 {"Server cvars end", EventKind::CvarsEnd}};
    for (const auto &[text, kind] : whole) {
        if (equalsIgnoreCase(core, text)) {
            event.kind = kind;
            return true;
        }
    }
    if (takePrefix(rest, "Server cvar \"")) {
        event.kind = EventKind::Cvar;
        const std::size_t middle = rest.find("\" = \"");
        if (middle == std::string_view::npos || rest.back() != '"' || rest.size() < middle + 6)
            return false;
        event.text = rest.substr(0, middle);
        event.value = rest.substr(middle + 5, rest.size() - 1 - (middle + 5));
        return !hasQuote(event.text);
    }
    if (takePrefix(rest, "server_cvar: \"")) {
        event.kind = EventKind::Cvar;
        const std::size_t close = rest.find('"');
        if (close == std::string_view::npos)
            return false;
        event.text = rest.substr(0, close);
        rest.remove_prefix(close + 1);
        if (!takePrefix(rest, " ") || !quotedWhole(rest, value, false))
            return false;
        event.value = value;
        return true;
    }
    if (takePrefix(rest, "Loading map ")) {
        event.kind = EventKind::LoadingMap;
        return quotedWhole(rest, event.text, true);
    }
    if (takePrefix(rest, "Started map ")) {
        event.kind = EventKind::StartedMap;
        return quotedWhole(rest, event.text, true);
    }
    if (takePrefix(rest, "Server name is ")) {
        event.kind = EventKind::ServerName;
        return quotedWhole(rest, event.text, false);
    }
    if (takePrefix(rest, "Team ")) {
        event.kind = EventKind::TeamTriggered; // what failed, if it fails
        return teamEvent(rest, event);
    }
    if (takePrefix(rest, "World triggered "))
        return worldEvent(rest, event);
    if (takePrefix(rest, "Game Over:"))
        return gameOver(rest.substr(rest.starts_with(' ') ? 1 : 0), event);
    event.kind = EventKind::ServerMessage;
    return true;
}

} // namespace ledgerwell
