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

// "Name<uid><id><team>", or "Name<uid><id>" where a server leaves the team group out.
struct PlayerToken
{
    std::string_view name, uid, id, team;
    bool hasTeam = true;
};

// A trailing (key "value") group, or one word of a (word word ...) flag group.
struct Property
{
    std::string_view key;
    std::string_view value;
    bool hasValue = false;
};

enum class EventKind {
    // Lines that are stored.
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
    Assist,
    FlashAssist,
    Triggered,
    Attacked,
    Say,
    SayTeam,
    KilledByWorld, // "was killed by the bomb.": text is what killed
    Spawned,       // TF2 "spawned as": text is the class of the life
    PickedUp,      // TF2 "picked up item": text is the item
    TeamTriggered,
    TeamScore,
    WorldTriggered,
    GameOver,
    // Lines that are read and left alone on purpose.
    KilledOther,   // a kill of a chicken or another entity that is no player
    Blinded,       // a flashbang's effect: the players are noted, nothing is scored
    PlayerOther,   // other player actions (purchases, throws, money ...); text: the verb
    RoundStats,    // the JSON round statistics blocks
    ServerMessage, // rcon, votes, plugin messages and other free text of the server
    TeamOther,     // "Team playing", alliances and other team lines
};

// The event's name in notes and in the coverage report.
const char *eventKindName(EventKind kind);

struct Event
{
    EventKind kind = EventKind::ServerMessage;
    PlayerToken actor;
    PlayerToken other; // victim, or the player an action is against
    bool hasOther = false;
    // "[x y z]" after a token, without the brackets; empty when the line gives none.
    std::string_view actorPosition, otherPosition;
    // What the event names: weapon, action, team, map, cvar, message, name, role, address.
    std::string_view text;
    // Second value: a cvar's value, a team's score, a trigger's "reason"/"on" tail; for
    // TeamScore, detail says which score; for GameOver, value is the score and detail the
    // mode and map.
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

// What a server has said about the player a token's uid stands for. Not his name: the
// server may have changed it since, in a datagram that was lost.
enum class Recognition {
    Unseen,  // nothing, or the player has left
    SameId,  // a player of this Steam id, or of one not known for sure
    OtherId, // a player of another Steam id: the token is none of his
};

// What the scorer knows about the players of a server, to choose between readings of a
// line whose names imitate player tokens.
class PlayerDirectory
{
public:
    virtual ~PlayerDirectory() = default;
    virtual Recognition recognise(const PlayerToken &token) const = 0;
};

struct LineParse
{
    bool ok = false;
    ParsedLine line;
    std::string reason;        // why the line is malformed or ambiguous, when !ok
    const char *rejected = ""; // the kind of line that was malformed, when !ok
    // The names allow several readings and the server's word does not single one out; the
    // line is well formed but says nothing anybody can be credited with.
    bool ambiguous = false;
    // When the line allows several readings: the names each gives its two players (the
    // second empty when it has one), to tell where a glued second line can begin.
    std::vector<std::string_view> readingNames;
};

// Game servers never write lines this long; a longer one is refused, not cut.
constexpr std::size_t MaxLineBytes = 4096;

// Parses "L MM/DD/YYYY - hh:mm:ss: event". The views in the result point into line.
// A player token is anchored on the last <uid><id><team> group before its closing quote.
// When names make several readings possible, a reading is taken only when the directory
// knows every player of it under exactly that name, uid and id, and contradicts every
// other reading; otherwise the line is ambiguous. Blanks at the end are not part of it.
LineParse parseLine(std::string_view line, const PlayerDirectory *directory = nullptr);

// Splits "Name<uid><id><team>" anchored on its last group; "Name<uid><id>" when
// teamOptional and the three-group reading fails.
bool splitPlayerToken(std::string_view text, PlayerToken &token, bool teamOptional = false);

} // namespace ledgerwell
