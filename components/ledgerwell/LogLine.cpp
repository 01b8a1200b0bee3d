#include "LogLine.h"

#include "TextRules.h"

#include <cstdio>

namespace ledgerwell {

namespace {

constexpr std::size_t TimestampLength = 25; // "L MM/DD/YYYY - hh:mm:ss: "
constexpr std::size_t MaxProperties = 32;
constexpr std::size_t MaxReadings = 32;

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

bool digits(std::string_view text, std::size_t pos, std::size_t count, int &value)
{
    value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool parseTime(std::string_view line, LogTime &time)
{
    if (line.size() < TimestampLength)
        return false;
    const std::string_view head = line.substr(0, TimestampLength);
    if (head[0] != 'L' || head[1] != ' ' || head[4] != '/' || head[7] != '/' ||
        head.substr(12, 3) != " - " || head[17] != ':' || head[20] != ':' ||
        head.substr(23, 2) != ": ")
        return false;
    if (!digits(head, 2, 2, time.month) || !digits(head, 5, 2, time.day) ||
        !digits(head, 8, 4, time.year) || !digits(head, 15, 2, time.hour) ||
        !digits(head, 18, 2, time.minute) || !digits(head, 21, 2, time.second))
        return false;
    return time.month >= 1 && time.month <= 12 && time.day >= 1 &&
           time.day <= daysInMonth(time.year, time.month) && time.hour <= 23 && time.minute <= 59 &&
           time.second <= 59;
}

bool isKeyChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

// The last place needle occurs in text, letters compared without case, or npos.
std::size_t rfindIgnoreCase(std::string_view text, std::string_view needle)
{
    if (needle.size() > text.size())
        return std::string_view::npos;
    for (std::size_t pos = text.size() - needle.size() + 1; pos-- > 0;) {
        if (equalsIgnoreCase(text.substr(pos, needle.size()), needle))
            return pos;
    }
    return std::string_view::npos;
}

bool hasQuote(std::string_view text)
{
    return text.find('"') != std::string_view::npos;
}

// The start of " (key" ending just before pos, or npos.
std::size_t keyStartBefore(std::string_view text, std::size_t pos)
{
    std::size_t start = pos;
    while (start > 0 && isKeyChar(text[start - 1]))
        --start;
    if (start == pos || start < 2 || text[start - 1] != '(' || text[start - 2] != ' ')
        return std::string_view::npos;
    return start;
}

// Takes the trailing (key "value") and (key) groups off text, keeping their order.
void takeProperties(std::string_view &text, std::vector<Property> &properties)
{
    std::vector<Property> reversed;
    while (reversed.size() < MaxProperties && !text.empty() && text.back() == ')') {
        if (text.size() >= 2 && text[text.size() - 2] == '"') {
            // The value may hold quotes; it starts after the nearest ` (key "` before its end.
            const std::size_t closing = text.size() - 2;
            std::size_t quote = closing;
            bool found = false;
            while (quote > 0) {
                quote = text.rfind('"', quote - 1);
                if (quote == std::string_view::npos || quote == 0)
                    break;
                if (text[quote - 1] != ' ')
                    continue;
                const std::size_t key = keyStartBefore(text, quote - 1);
                if (key == std::string_view::npos)
                    continue;
                reversed.push_back({text.substr(key, quote - 1 - key),
                                    text.substr(quote + 1, closing - quote - 1), true});
                text = text.substr(0, key - 2);
                found = true;
                break;
            }
            if (!found)
                break;
        } else {
            const std::size_t key = keyStartBefore(text, text.size() - 1);
            if (key == std::string_view::npos)
                break;
            reversed.push_back({text.substr(key, text.size() - 1 - key), {}, false});
            text = text.substr(0, key - 2);
        }
    }
    properties.assign(reversed.rbegin(), reversed.rend());
}

bool takePrefix(std::string_view &text, std::string_view prefix)
{
    if (!startsWithIgnoreCase(text, prefix))
        return false;
    text.remove_prefix(prefix.size());
    return true;
}

// "value" spanning all of text; value without quotes when strict.
bool quotedWhole(std::string_view text, std::string_view &value, bool strict)
{
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        return false;
    value = text.substr(1, text.size() - 2);
    return !strict || !hasQuote(value);
}

enum class Reading { Invalid, Unknown, Known };

// `"TOKEN" with "WEAPON"` (after a verb): the weapon is the last quoted value; the token
// is anchored on its last group.
bool tokenWithWeapon(std::string_view rest, Event &event)
{
    if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"')
        return false;
    const std::size_t with = rfindIgnoreCase(rest, "\" with \"");
    if (with == std::string_view::npos || with == 0 || with + 8 > rest.size() - 1)
        return false;
    const std::string_view weapon = rest.substr(with + 8, rest.size() - 1 - (with + 8));
    if (hasQuote(weapon))
        return false;
    if (!splitPlayerToken(rest.substr(1, with - 1), event.other))
        return false;
    event.hasOther = true;
    event.text = weapon;
    return true;
}

Reading playerVerb(std::string_view rest, std::string_view rawRest, Event &event)
{
    std::string_view value;
    if (takePrefix(rest, "killed ")) {
        event.kind = EventKind::Killed;
        return tokenWithWeapon(rest, event) ? Reading::Known : Reading::Invalid;
    }
    if (takePrefix(rest, "attacked ")) {
        event.kind = EventKind::Attacked;
        return tokenWithWeapon(rest, event) ? Reading::Known : Reading::Invalid;
    }
    if (takePrefix(rest, "committed suicide with ")) {
        event.kind = EventKind::Suicide;
        if (!quotedWhole(rest, value, true))
            return Reading::Invalid;
        event.text = value;
        return Reading::Known;
    }
    if (takePrefix(rest, "triggered \"")) {
        event.kind = EventKind::Triggered;
        const std::size_t close = rest.find('"');
        if (close == std::string_view::npos)
            return Reading::Invalid;
        event.text = rest.substr(0, close);
        rest.remove_prefix(close + 1);
        if (rest.empty())
            return Reading::Known;
        if (!takePrefix(rest, " against ") || !quotedWhole(rest, value, false) ||
            !splitPlayerToken(value, event.other))
            return Reading::Invalid;
        event.hasOther = true;
        return Reading::Known;
    }
    if (takePrefix(rest, "connected, address ")) {
        event.kind = EventKind::Connected;
        if (!quotedWhole(rest, value, true))
            return Reading::Invalid;
        event.text = value;
        return Reading::Known;
    }
    if (equalsIgnoreCase(rest, "entered the game")) {
        event.kind = EventKind::Entered;
        return Reading::Known;
    }
    if (takePrefix(rest, "joined team ")) {
        event.kind = EventKind::JoinedTeam;
        if (!quotedWhole(rest, value, true))
            return Reading::Invalid;
        event.text = value;
        return Reading::Known;
    }
    if (takePrefix(rest, "switched from team <")) {
        event.kind = EventKind::JoinedTeam;
        const std::size_t to = rfindIgnoreCase(rest, "> to <");
        if (to == std::string_view::npos || rest.back() != '>')
            return Reading::Invalid;
        event.text = rest.substr(to + 6, rest.size() - 1 - (to + 6));
        return event.text.find_first_of("<>\"") == std::string_view::npos ? Reading::Known
                                                                          : Reading::Invalid;
    }
    if (takePrefix(rest, "changed role to ")) {
        event.kind = EventKind::ChangedRole;
        if (!quotedWhole(rest, value, true))
            return Reading::Invalid;
        event.text = value;
        return Reading::Known;
    }
    if (takePrefix(rest, "changed name to ")) {
        event.kind = EventKind::ChangedName;
        if (!quotedWhole(rest, value, false))
            return Reading::Invalid;
        event.text = value;
        return Reading::Known;
    }
    if (startsWithIgnoreCase(rest, "disconnected")) {
        event.kind = EventKind::Disconnected;
        if (rest.size() == 12)
            return Reading::Known; // the reason, if any, is among the properties
        // A reason that looks like properties itself is taken whole from the raw text.
        std::string_view tail = rawRest.substr(12);
        if (takePrefix(tail, " (reason \"") && tail.size() >= 2 &&
            tail.substr(tail.size() - 2) == "\")") {
            event.properties = {{"reason", tail.substr(0, tail.size() - 2), true}};
            return Reading::Known;
        }
        return Reading::Invalid;
    }
    if (takePrefix(rest, "say_team ")) {
        event.kind = EventKind::SayTeam;
        if (!quotedWhole(rest, value, false))
            return Reading::Invalid;
        event.text = value;
        return Reading::Known;
    }
    if (takePrefix(rest, "say ")) {
        event.kind = EventKind::Say;
        if (!quotedWhole(rest, value, false))
            return Reading::Invalid;
        event.text = value;
        return Reading::Known;
    }
    event.kind = EventKind::Other;
    return Reading::Unknown;
}

int directoryScore(const Event &event, const PlayerDirectory *directory)
{
    if (!directory)
        return 0;
    int score = directory->recognise(event.actor);
    if (event.hasOther)
        score += directory->recognise(event.other);
    return score;
}

// Tries every place the first token can end, from the last to the first.
// core is the line's event without its properties, fullCore the event as written.
bool playerEvent(std::string_view core, std::string_view fullCore,
                 const std::vector<Property> &properties, Event &chosen,
                 const PlayerDirectory *directory)
{
    std::size_t ends[MaxReadings];
    std::size_t endCount = 0;
    for (std::size_t p = core.size(); p-- > 2 && endCount < MaxReadings;) {
        if (core[p] == '"' && core[p - 1] == '>' && (p + 1 == core.size() || core[p + 1] == ' '))
            ends[endCount++] = p;
    }
    Reading best = Reading::Invalid;
    int bestScore = -1;
    for (std::size_t i = 0; i < endCount; ++i) { // latest first, so ties keep the longest token
        const std::size_t end = ends[i];
        Event event;
        if (!splitPlayerToken(core.substr(1, end - 1), event.actor))
            continue;
        event.properties = properties;
        const std::string_view rest = end + 2 <= core.size() ? core.substr(end + 2) : "";
        const std::string_view rawRest =
            fullCore.substr(end + 2 <= core.size() ? end + 2 : core.size());
        Reading reading = playerVerb(rest, rawRest, event);
        // An event that is not scored says nothing about where the token ends; a name with
        // quotes there means the quotes are out of balance.
        if (reading == Reading::Unknown && event.actor.name.find('"') != std::string_view::npos)
            reading = Reading::Invalid;
        if (reading == Reading::Invalid)
            continue;
        if (best == Reading::Invalid) { // the usual case: one reading, nothing to weigh
            best = reading;
            chosen = std::move(event);
            continue;
        }
        if (bestScore < 0)
            bestScore = directoryScore(chosen, directory);
        const int score = directoryScore(event, directory);
        if (reading > best || (reading == best && score > bestScore)) {
            best = reading;
            bestScore = score;
            chosen = std::move(event);
        }
    }
    return best != Reading::Invalid;
}

// `"TEAM" rest` after "Team ".
bool teamEvent(std::string_view rest, Event &event)
{
    if (rest.empty() || rest.front() != '"')
        return false;
    const std::size_t close = rest.find('"', 1);
    if (close == std::string_view::npos)
        return false;
    event.text = rest.substr(1, close - 1);
    rest.remove_prefix(close + 1);
    std::string_view action;
    if (takePrefix(rest, " triggered ")) {
        if (!quotedWhole(rest, action, true))
            return false;
        event.kind = EventKind::TeamTriggered;
        event.value = action;
        return true;
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
    event.kind = EventKind::Other; // alliances and other team events
    return true;
}

bool serverEvent(std::string_view core, Event &event)
{
    std::string_view rest = core;
    std::string_view value;
    if (equalsIgnoreCase(core, "Log file started")) {
        event.kind = EventKind::LogStarted;
        return true;
    }
    if (equalsIgnoreCase(core, "Log file closed")) {
        event.kind = EventKind::LogClosed;
        return true;
    }
    if (equalsIgnoreCase(core, "Server cvars start")) {
        event.kind = EventKind::CvarsStart;
        return true;
    }
    if (equalsIgnoreCase(core, "Server cvars end")) {
        event.kind = EventKind::CvarsEnd;
        return true;
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
        if (!quotedWhole(rest, value, true))
            return false;
        event.text = value;
        return true;
    }
    if (takePrefix(rest, "Started map ")) {
        event.kind = EventKind::StartedMap;
        if (!quotedWhole(rest, value, true))
            return false;
        event.text = value;
        return true;
    }
    if (takePrefix(rest, "Server name is ")) {
        event.kind = EventKind::ServerName;
        if (!quotedWhole(rest, value, false))
            return false;
        event.text = value;
        return true;
    }
    if (takePrefix(rest, "Team ")) {
        event.kind = EventKind::TeamTriggered; // what failed, if it fails
        return teamEvent(rest, event);
    }
    if (takePrefix(rest, "World triggered ")) {
        event.kind = EventKind::WorldTriggered;
        if (!quotedWhole(rest, value, true))
            return false;
        event.text = value;
        return true;
    }
    event.kind = EventKind::Other;
    return true;
}

const char *eventName(EventKind kind)
{
    switch (kind) {
    case EventKind::Killed:
        return "kill";
    case EventKind::Attacked:
        return "attack";
    case EventKind::Cvar:
        return "server cvar";
    case EventKind::LoadingMap:
        return "loading map";
    case EventKind::StartedMap:
        return "started map";
    case EventKind::ServerName:
        return "server name";
    case EventKind::TeamTriggered:
    case EventKind::TeamScore:
        return "team";
    case EventKind::WorldTriggered:
        return "world trigger";
    default:
        return "event";
    }
}

} // namespace

std::int64_t LogTime::epochSeconds() const
{
    // Days from the civil date (proleptic Gregorian).
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = std::int64_t(era) * 146097 + dayOfEra - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

std::string LogTime::iso() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                  minute, second);
    return text;
}

std::string_view Event::property(std::string_view key) const
{
    for (const Property &p : properties) {
        if (equalsIgnoreCase(p.key, key))
            return p.value;
    }
    return {};
}

bool Event::hasProperty(std::string_view key) const
{
    for (const Property &p : properties) {
        if (equalsIgnoreCase(p.key, key))
            return true;
    }
    return false;
}

bool splitPlayerToken(std::string_view text, PlayerToken &token)
{
    if (text.empty() || text.back() != '>')
        return false;
    const auto field = [&](std::size_t close, std::size_t &open, std::string_view &value) {
        open = text.rfind('<', close);
        if (open == std::string_view::npos)
            return false;
        value = text.substr(open + 1, close - open - 1);
        return value.find_first_of("<>\"") == std::string_view::npos;
    };
    std::size_t teamOpen = 0, idOpen = 0, uidOpen = 0;
    if (!field(text.size() - 1, teamOpen, token.team) || teamOpen == 0 || text[teamOpen - 1] != '>')
        return false;
    if (!field(teamOpen - 1, idOpen, token.id) || idOpen == 0 || text[idOpen - 1] != '>')
        return false;
    if (!field(idOpen - 1, uidOpen, token.uid) || token.uid.empty())
        return false;
    std::string_view number = token.uid;
    if (number.front() == '-')
        number.remove_prefix(1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    token.name = text.substr(0, uidOpen);
    return true;
}

LineParse parseLine(std::string_view line, const PlayerDirectory *directory)
{
    LineParse result;
    if (line.size() > MaxLineBytes) {
        result.reason = "line of " + std::to_string(line.size()) + " bytes is longer than " +
                        std::to_string(MaxLineBytes);
        return result;
    }
    if (line.find('\0') != std::string_view::npos) {
        result.reason = "line holds a NUL byte";
        return result;
    }
    if (line.find_first_of("\r\n") != std::string_view::npos) {
        result.reason = "line holds a line break";
        return result;
    }
    if (!parseTime(line, result.line.time)) {
        result.reason = "no valid \"L MM/DD/YYYY - hh:mm:ss: \" time at the start";
        return result;
    }
    std::string_view core = line.substr(TimestampLength);
    const std::string_view fullCore = core;
    if (core.empty()) {
        result.reason = "no event after the time";
        return result;
    }
    std::vector<Property> properties;
    takeProperties(core, properties);
    Event &event = result.line.event;
    if (!core.empty() && core.front() == '"') {
        if (!playerEvent(core, fullCore, properties, event, directory)) {
            result.reason = "player event that cannot be read (unbalanced quotes or no "
                            "<uid><id><team> group)";
            return result;
        }
    } else {
        event.properties = std::move(properties);
        if (!serverEvent(core, event)) {
            result.reason = std::string("malformed ") + eventName(event.kind);
            return result;
        }
    }
    result.ok = true;
    return result;
}

} // namespace ledgerwell
