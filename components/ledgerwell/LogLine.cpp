#include "LogLine.h"

#include "LineGrammar.h"
#include "LineText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace ledgerwell {

namespace {

constexpr std::size_t TimestampLength = 25;     // "L MM/DD/YYYY - hh:mm:ss: "
constexpr std::size_t HttpTimestampLength = 28; // "MM/DD/YYYY - hh:mm:ss.mmm - "
constexpr std::size_t MaxProperties = 32;

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

// "MM/DD/YYYY - hh:mm:ss" at the start of text.
bool parseDateTime(std::string_view text, LogTime &time)
{
    if (text.size() < 21 || text[2] != '/' || text[5] != '/' || text.substr(10, 3) != " - " ||
        text[15] != ':' || text[18] != ':')
        return false;
    if (!digits(text, 0, 2, time.month) || !digits(text, 3, 2, time.day) ||
        !digits(text, 6, 4, time.year) || !digits(text, 13, 2, time.hour) ||
        !digits(text, 16, 2, time.minute) || !digits(text, 19, 2, time.second))
        return false;
    return time.month >= 1 && time.month <= 12 && time.day >= 1 &&
           time.day <= daysInMonth(time.year, time.month) && time.hour <= 23 && time.minute <= 59 &&
           time.second <= 59;
}

// The length of the time at the start of a line, 0 when it has none: "L MM/DD/YYYY -
// hh:mm:ss: " as servers write their log files and datagrams, or "MM/DD/YYYY - hh:mm:ss.mmm
// - " as servers that post their log over HTTP write it (the milliseconds are not kept).
std::size_t parseTime(std::string_view line, LogTime &time)
{
    if (line.starts_with("L ") && line.size() >= TimestampLength && line.substr(23, 2) == ": " &&
        parseDateTime(line.substr(2), time))
        return TimestampLength;
    if (line.size() >= HttpTimestampLength && line[21] == '.' && line.substr(25, 3) == " - " &&
        std::isdigit(static_cast<unsigned char>(line[22])) &&
        std::isdigit(static_cast<unsigned char>(line[23])) &&
        std::isdigit(static_cast<unsigned char>(line[24])) && parseDateTime(line, time))
        return HttpTimestampLength;
    return 0;
}

bool isKeyChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
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

// A (word word ...) group ending text: appends its words, last first, and cuts it off.
bool takeFlagGroup(std::string_view &text, std::vector<Property> &reversed)
{
    std::size_t open = text.size() - 1;
    while (open > 0 && (isKeyChar(text[open - 1]) || text[open - 1] == ' '))
        --open;
    if (open < 2 || text[open - 1] != '(' || text[open - 2] != ' ')
        return false;
    const std::string_view inside = text.substr(open, text.size() - 1 - open);
    if (inside.empty() || inside.front() == ' ' || inside.back() == ' ')
        return false;
    std::size_t end = inside.size();
    while (end > 0) {
        std::size_t start = inside.rfind(' ', end - 1);
        start = start == std::string_view::npos ? 0 : start + 1;
        if (start < end)
            reversed.push_back({inside.substr(start, end - start), {}, false});
        end = start == 0 ? 0 : start - 1;
    }
    text = text.substr(0, open - 2);
    return true;
}

// A (key "value") group ending text. The value may hold quotes; it starts after the
// nearest ` (key "` before its end.
bool takeValueGroup(std::string_view &text, std::vector<Property> &reversed)
{
    const std::size_t closing = text.size() - 2;
    std::size_t quote = closing;
    while (quote > 0) {
        quote = text.rfind('"', quote - 1);
        if (quote == std::string_view::npos || quote == 0)
            return false;
        if (text[quote - 1] != ' ')
            continue;
        const std::size_t key = keyStartBefore(text, quote - 1);
        if (key == std::string_view::npos)
            continue;
        reversed.push_back(
            {text.substr(key, quote - 1 - key), text.substr(quote + 1, closing - quote - 1), true});
        text = text.substr(0, key - 2);
        return true;
    }
    return false;
}

// Takes the trailing (key "value") and (word ...) groups off text, keeping their order.
void takeProperties(std::string_view &text, std::vector<Property> &properties)
{
    std::vector<Property> reversed;
    while (reversed.size() < MaxProperties && !text.empty() && text.back() == ')') {
        const bool valued = text.size() >= 2 && text[text.size() - 2] == '"';
        if (!(valued ? takeValueGroup(text, reversed) : takeFlagGroup(text, reversed)))
            break;
    }
    properties.assign(reversed.rbegin(), reversed.rend());
}

bool isPositionNumber(std::string_view text)
{
    if (!text.empty() && text.front() == '-')
        text.remove_prefix(1);
    return !text.empty() && text.find_first_not_of("0123456789.") == std::string_view::npos;
}

std::string_view withoutTrailingBlanks(std::string_view text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

namespace linetext {

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

bool isPosition(std::string_view text)
{
    std::size_t numbers = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string_view::npos)
            end = text.size();
        if (!isPositionNumber(text.substr(start, end - start)))
            return false;
        ++numbers;
        start = end + 1;
    }
    return numbers == 3;
}

bool takeLeadingPosition(std::string_view &text, std::string_view &position)
{
    if (text.empty() || text.front() != '[')
        return false;
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos || !isPosition(text.substr(1, close - 1)))
        return false;
    position = text.substr(1, close - 1);
    text.remove_prefix(close + 1 < text.size() && text[close + 1] == ' ' ? close + 2 : close + 1);
    return true;
}

bool takeTrailingPosition(std::string_view &text, std::string_view &position)
{
    if (text.size() < 4 || text.back() != ']')
        return false;
    const std::size_t open = text.rfind('[');
    if (open == std::string_view::npos || open == 0 || text[open - 1] != ' ' ||
        !isPosition(text.substr(open + 1, text.size() - open - 2)))
        return false;
    position = text.substr(open + 1, text.size() - open - 2);
    text = text.substr(0, open - 1);
    return true;
}

bool takeTrailingQuoted(std::string_view &text, std::string_view separator, std::string_view &value)
{
    if (text.size() < separator.size() + 2 || text.back() != '"')
        return false;
    const std::size_t open = text.rfind('"', text.size() - 2);
    if (open == std::string_view::npos || open < separator.size() ||
        !equalsIgnoreCase(text.substr(open - separator.size(), separator.size()), separator))
        return false;
    value = text.substr(open + 1, text.size() - open - 2);
    text = text.substr(0, open - separator.size());
    return true;
}

bool wholeToken(std::string_view text, PlayerToken &token, std::string_view &position)
{
    takeTrailingPosition(text, position);
    std::string_view inside;
    return quotedWhole(text, inside, false) && splitPlayerToken(inside, token, true);
}

} // namespace linetext

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

bool splitPlayerToken(std::string_view text, PlayerToken &token, bool teamOptional)
{
    if (text.empty() || text.back() != '>')
        return false;
    const auto field = [&](std::size_t close, std::size_t &open, std::string_view &value) {
        open = text.rfind('<', close);
        if (open == std::string_view::npos)
            return false;
        value = text.substr(open + 1, close - open - 1);
        return !containsAnyOf(value, "<>\"");
    };
    const auto numeric = [](std::string_view number) {
        if (!number.empty() && number.front() == '-')
            number.remove_prefix(1);
        return isDigits(number);
    };
    // Groups from the end: [0] the last; the reading with a team needs three.
    std::size_t open[3] = {};
    std::string_view value[3];
    int groups = 0;
    std::size_t close = text.size() - 1;
    while (groups < 3 && field(close, open[groups], value[groups])) {
        ++groups;
        if (groups == 3 || open[groups - 1] == 0 || text[open[groups - 1] - 1] != '>')
            break;
        close = open[groups - 1] - 1;
    }
    if (groups == 3 && numeric(value[2])) {
        token = {text.substr(0, open[2]), value[2], value[1], value[0], true};
        return true;
    }
    if (teamOptional && groups >= 2 && numeric(value[1])) {
        token = {text.substr(0, open[1]), value[1], value[0], {}, false};
        return true;
    }
    return false;
}

namespace {

LineParse parseOneLine(std::string_view line, const PlayerDirectory *directory);

// Where a second log line begins inside this one, the last such place at or after `from`
// and before `to`; npos when there is none.
std::size_t embeddedLineStart(std::string_view line, std::size_t from, std::size_t to)
{
    LogTime time;
    for (std::size_t at = std::min(to, line.size()); at-- > std::max<std::size_t>(from, 1);) {
        if (line[at] == 'L' && parseTime(line.substr(at), time))
            return at;
    }
    return std::string_view::npos;
}

bool within(std::string_view part, std::size_t at, std::string_view line)
{
    if (part.empty() || part.data() < line.data() || part.data() >= line.data() + line.size())
        return false;
    const std::size_t first = std::size_t(part.data() - line.data());
    return at >= first && at < first + part.size();
}

// A line the server cut off and wrote the next one right after, without a line break: the
// next line's time then stands inside what reads as a player's name, in every reading of
// the line. Only there, or in a line that cannot be read at all, is it taken for a second
// line: a time typed into a chat message is part of the message in one reading at least,
// so nobody can forge a line by saying one.
std::size_t gluedLineStart(std::string_view line, const LineParse &whole)
{
    std::vector<std::string_view> names = whole.readingNames;
    if (names.empty()) {
        if (!whole.ok)
            return embeddedLineStart(line, 1, line.size());
        names = {whole.line.event.actor.name, whole.line.event.other.name};
    }
    for (std::size_t at = embeddedLineStart(line, 1, line.size()); at != std::string_view::npos;
         at = embeddedLineStart(line, 1, at)) {
        bool inNames = true;
        for (std::size_t reading = 0; inNames && reading + 1 < names.size(); reading += 2)
            inNames = within(names[reading], at, line) || within(names[reading + 1], at, line);
        if (inNames)
            return at;
    }
    return std::string_view::npos;
}

} // namespace

LineParse parseLine(std::string_view line, const PlayerDirectory *directory)
{
    LineParse whole = parseOneLine(line, directory);
    // What follows a line break is no line of its own (see parseOneLine), glued or not.
    const std::size_t second =
        gluedLineStart(line.substr(0, std::min(line.find('\n'), line.find('\r'))), whole);
    if (second == std::string_view::npos)
        return whole;
    LineParse glued = parseLine(line.substr(second), directory);
    return glued.ok ? glued : whole;
}

namespace {

LineParse parseOneLine(std::string_view line, const PlayerDirectory *directory)
{
    LineParse result;
    if (line.starts_with("\xEF\xBB\xBF"))
        line.remove_prefix(3); // a byte order mark where a log file began
    if (line.size() > MaxLineBytes) {
        result.reason = "line of " + std::to_string(line.size()) + " bytes is longer than " +
                        std::to_string(MaxLineBytes);
        result.rejected = "line too long";
        return result;
    }
    if (line.find('\0') != std::string_view::npos) {
        result.reason = "line holds a NUL byte";
        result.rejected = "control bytes";
        return result;
    }
    // A message or a name with a line break in it: the line ends there; the rest is no
    // line of its own, so it cannot forge one.
    line = line.substr(0, std::min(line.find('\n'), line.find('\r')));
    const std::size_t timeLength = parseTime(line, result.line.time);
    if (timeLength == 0) {
        result.reason = "no valid \"L MM/DD/YYYY - hh:mm:ss: \" time at the start";
        result.rejected = "no time";
        return result;
    }
    std::string_view core = withoutTrailingBlanks(line.substr(timeLength));
    const std::string_view fullCore = core;
    if (core.empty()) {
        result.reason = "no event after the time";
        result.rejected = "no event";
        return result;
    }
    std::vector<Property> properties;
    takeProperties(core, properties);
    Event &event = result.line.event;
    if (quotedServerLine(fullCore, event))
        ; // JSON statistics and cvar dumps start with a quote too
    else if (!core.empty() && core.front() == '"') {
        if (!playerEvent(core, fullCore, properties, directory, result))
            return result;
    } else {
        event.properties = std::move(properties);
        if (!serverEvent(core, event)) {
            result.reason = std::string("malformed ") + eventKindName(event.kind);
            result.rejected = eventKindName(event.kind);
            return result;
        }
    }
    result.ok = true;
    return result;
}

} // namespace

const char *eventKindName(EventKind kind)
{
    switch (kind) {
    case EventKind::LogStarted:
        return "log started";
    case EventKind::LogClosed:
        return "log closed";
    case EventKind::CvarsStart:
    case EventKind::CvarsEnd:
        return "cvars start/end";
    case EventKind::Cvar:
        return "server cvar";
    case EventKind::LoadingMap:
        return "loading map";
    case EventKind::StartedMap:
        return "started map";
    case EventKind::ServerName:
        return "server name";
    case EventKind::Connected:
        return "connected";
    case EventKind::Entered:
        return "entered the game";
    case EventKind::JoinedTeam:
        return "joined team";
    case EventKind::ChangedRole:
        return "changed role";
    case EventKind::ChangedName:
        return "changed name";
    case EventKind::Disconnected:
        return "disconnected";
    case EventKind::Killed:
        return "kill";
    case EventKind::Suicide:
        return "suicide";
    case EventKind::Assist:
        return "assist";
    case EventKind::FlashAssist:
        return "flash assist";
    case EventKind::Triggered:
        return "player trigger";
    case EventKind::Attacked:
        return "attack";
    case EventKind::Say:
        return "say";
    case EventKind::SayTeam:
        return "say_team";
    case EventKind::KilledByWorld:
        return "killed by the world";
    case EventKind::Spawned:
        return "spawned";
    case EventKind::PickedUp:
        return "picked up item";
    case EventKind::TeamTriggered:
        return "team trigger";
    case EventKind::TeamScore:
        return "team score";
    case EventKind::WorldTriggered:
        return "world trigger";
    case EventKind::GameOver:
        return "game over";
    case EventKind::KilledOther:
        return "kill of a non-player";
    case EventKind::Blinded:
        return "blinded";
    case EventKind::PlayerOther:
        return "other player action";
    case EventKind::RoundStats:
        return "round statistics";
    case EventKind::ServerMessage:
        return "server message";
    case EventKind::TeamOther:
        return "other team line";
    }
    return "event";
}

} // namespace ledgerwell
