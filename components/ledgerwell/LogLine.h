#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ledgerwell {

// The time at the head of a log line, as the game server wrote it (its local time).
struct LogTime
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;

    std::int64_t epochSeconds() const; // for differences only; no time zone is applied
    std::string iso() const;           // YYYY-MM-DD HH:MM:SS
};

// "Name<uid><id><team>"
struct PlayerToken
{
    std::string_view name, uid, id, team;
};

// A trailing (key "value") or (key) group.
struct Property
{
    std::string_view key;
    std::string_view value;
    bool hasValue = false;
};

enum class EventKind {
    Other, // a well-formed line whose event is not scored
    LogStarted,
    LogClosed,
    CvarsStart,
    CvarsEnd,
    Cvar,
    LoadingMap,
    StartedMap,
    ServerName,
    Connected,
    Entered,
    JoinedTeam,
    ChangedRole,
    ChangedName,
    Disconnected,
    Killed,
    Suicide,
    Triggered,
    Attacked,
    Say,
    SayTeam,
    TeamTriggered,
    TeamScore,
    WorldTriggered,
};

struct Event
{
    EventKind kind = EventKind::Other;
    PlayerToken actor;
    PlayerToken other; // victim, or the player an action is against
    bool hasOther = false;
    // What the event names: weapon, action, team, map, cvar, message, name, role, address.
    std::string_view text;
    // Second value: a cvar's value, a team's score; for TeamScore, detail says which score.
    std::string_view value;
    std::string_view detail;
    std::vector<Property> properties;

    // Case-insensitive; empty when absent.
    std::string_view property(std::string_view key) const;
    bool hasProperty(std::string_view key) const;
};

struct ParsedLine
{
    LogTime time;
    Event event;
};

// What the scorer knows about the players of a server, to choose between readings of a
// line whose names imitate player tokens.
class PlayerDirectory
{
public:
    virtual ~PlayerDirectory() = default;
    // 2: this uid and id are known under this name; 1: known under another name; 0: unknown.
    virtual int recognise(const PlayerToken &token) const = 0;
};

struct LineParse
{
    bool ok = false;
    ParsedLine line;
    std::string reason; // why the line is malformed, when !ok
};

// Game servers never write lines this long; a longer one is refused, not cut.
constexpr std::size_t MaxLineBytes = 4096;

// Parses "L MM/DD/YYYY - hh:mm:ss: event". The views in the result point into line.
// A player token is anchored on the last <uid><id><team> group before its closing quote;
// when a name makes several readings possible, the one whose players the directory knows
// wins, then the one with the longest first token.
LineParse parseLine(std::string_view line, const PlayerDirectory *directory = nullptr);

// Splits "Name<uid><id><team>" anchored on its last group.
bool splitPlayerToken(std::string_view text, PlayerToken &token);

} // namespace ledgerwell
