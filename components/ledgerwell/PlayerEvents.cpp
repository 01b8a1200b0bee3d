#include "LineGrammar.h"
#include "LineText.h"

namespace ledgerwell {

using namespace linetext;

namespace {

enum class Reading { Invalid, Unknown, Known };

Reading known(bool ok)
{
    return ok ? Reading::Known : Reading::Invalid;
}

// `"VICTIM" [pos] with "WEAPON"` after killed or attacked.
Reading victimWithWeapon(std::string_view rest, EventKind kind, Event &event)
{
    event.kind = kind;
    if (!takeTrailingQuoted(rest, " with ", event.text) ||
        !wholeToken(rest, event.other, event.otherPosition))
        return Reading::Invalid;
    event.hasOther = true;
    return Reading::Known;
}

Reading againstPlayer(std::string_view rest, EventKind kind, Event &event)
{
    event.kind = kind;
    event.hasOther = wholeToken(rest, event.other, event.otherPosition);
    return known(event.hasOther);
}

// `triggered "ACTION"` with an optional tail: against a player (and with a weapon), or a
// place, a map or a reason in words.
Reading triggered(std::string_view rest, Event &event)
{
    event.kind = EventKind::Triggered;
    const std::size_t close = rest.find('"');
    if (close == std::string_view::npos)
        return Reading::Invalid;
    event.text = rest.substr(0, close);
    rest.remove_prefix(close + 1);
    if (rest.empty())
        return Reading::Known;
    if (takePrefix(rest, " against ")) {
        takeTrailingQuoted(rest, " with ", event.detail);
        return againstPlayer(rest, EventKind::Triggered, event);
    }
    for (const std::string_view word : {" at ", " on ", " with ", " reason "}) {
        if (takePrefix(rest, word)) {
            if (!quotedWhole(rest, event.value, true))
                event.value = rest;
            return Reading::Known;
        }
    }
    return Reading::Invalid;
}

// `blinded for 2.04 by "B<..>" from flashbang entindex 297`
Reading blinded(std::string_view rest, Event &event)
{
    event.kind = EventKind::Blinded;
    const std::size_t by = rest.find(" by \"");
    if (by == std::string_view::npos)
        return Reading::Invalid;
    rest.remove_prefix(by + 4);
    const std::size_t from = rfindIgnoreCase(rest, "\" from ");
    if (from != std::string_view::npos)
        rest = rest.substr(0, from + 1);
    return againstPlayer(rest, EventKind::Blinded, event);
}

Reading quotedText(std::string_view rest, EventKind kind, bool strict, Event &event)
{
    event.kind = kind;
    return known(quotedWhole(rest, event.text, strict));
}

// Player actions that are read and left alone; their first word names them.
constexpr std::string_view OtherActions[] = {
    "threw ",      "purchased ",    "left buyzone", "money change", "picked up ", "steam userid",
    "other death", "was killed by", "was kicked",   "triggered",    "changed",
};

// `was killed by the bomb.`: a death the world caused, named without quotes.
Reading killedByWorld(std::string_view rest, Event &event)
{
    event.kind = EventKind::KilledByWorld;
    if (rest.ends_with('.'))
        rest.remove_suffix(1);
    event.text = rest;
    return known(!rest.empty() && !containsAnyOf(rest, "\"<> "));
}

Reading playerVerb(std::string_view rest, std::string_view rawRest, Event &event)
{
    if (takePrefix(rest, "killed other ")) {
        event.kind = EventKind::KilledOther;
        return Reading::Known;
    }
    if (takePrefix(rest, "killed "))
        return victimWithWeapon(rest, EventKind::Killed, event);
    if (takePrefix(rest, "attacked "))
        return victimWithWeapon(rest, EventKind::Attacked, event);
    if (takePrefix(rest, "assisted killing "))
        return againstPlayer(rest, EventKind::Assist, event);
    if (takePrefix(rest, "flash-assisted killing "))
        return againstPlayer(rest, EventKind::FlashAssist, event);
    if (takePrefix(rest, "committed suicide with "))
        return quotedText(rest, EventKind::Suicide, true, event);
    if (takePrefix(rest, "triggered \""))
        return triggered(rest, event);
    if (takePrefix(rest, "blinded for "))
        return blinded(rest, event);
    if (takePrefix(rest, "connected, address "))
        return quotedText(rest, EventKind::Connected, true, event);
    if (equalsIgnoreCase(rest, "entered the game")) {
        event.kind = EventKind::Entered;
        return Reading::Known;
    }
    if (takePrefix(rest, "joined team "))
        return quotedText(rest, EventKind::JoinedTeam, true, event);
    if (takePrefix(rest, "switched from team <")) {
        event.kind = EventKind::JoinedTeam;
        const std::size_t to = rfindIgnoreCase(rest, "> to <");
        if (to == std::string_view::npos || rest.back() != '>')
            return Reading::Invalid;
        event.text = rest.substr(to + 6, rest.size() - 1 - (to + 6));
        return known(!containsAnyOf(event.text, "<>\""));
    }
    if (takePrefix(rest, "changed role to "))
        return quotedText(rest, EventKind::ChangedRole, true, event);
    if (takePrefix(rest, "changed name to "))
        return quotedText(rest, EventKind::ChangedName, false, event);
    if (startsWithIgnoreCase(rest, "disconnected")) {
        event.kind = EventKind::Disconnected;
        if (rest.size() == 12)
            return Reading::Known; // the reason, if any, is among the properties
        // A reason that looks like properties itself is taken whole from the raw text.
        std::string_view tail = rawRest.substr(12);
        if (!takePrefix(tail, " (reason \""))
            return Reading::Invalid;
        // A reason with a line break in it comes cut at the break, without its end.
        if (tail.ends_with("\")"))
            tail.remove_suffix(2);
        event.properties = {{"reason", tail, true}};
        return Reading::Known;
    }
    if (takePrefix(rest, "was killed by the "))
        return killedByWorld(rest, event);
    if (takePrefix(rest, "spawned as "))
        return quotedText(rest, EventKind::Spawned, true, event);
    if (takePrefix(rest, "picked up item "))
        return quotedText(rest, EventKind::PickedUp, true, event);
    if (takePrefix(rest, "say_team "))
        return quotedText(rest, EventKind::SayTeam, false, event);
    if (takePrefix(rest, "say "))
        return quotedText(rest, EventKind::Say, false, event);
    event.kind = EventKind::PlayerOther;
    const std::size_t blank = rest.find(' ');
    event.text = rest.substr(0, blank);
    for (const std::string_view action : OtherActions) {
        if (startsWithIgnoreCase(rest, action))
            return Reading::Known;
    }
    return Reading::Unknown;
}

// A reading the server's word rules out: one of its players has a uid that belongs to a
// player of another Steam id. Names rule nothing out: the server may have changed a name
// since it last said one, in a datagram that was lost.
bool impossible(const Event &event, const PlayerDirectory *directory)
{
    return directory &&
           (directory->recognise(event.actor) == Recognition::OtherId ||
            (event.hasOther && directory->recognise(event.other) == Recognition::OtherId));
}

} // namespace

// Tries every place the first token can end. One reading is the line as the server wrote
// it. Of several, a name imitates a token, and only what the server has said about its
// players can tell which reading is true: when it rules out all readings but one, that one
// is the true one. Any other case credits nobody, as a guess could hand one player's event
// to another. Every place is weighed, however many: a line is at most MaxLineBytes long.
bool playerEvent(std::string_view core, std::string_view fullCore,
                 const std::vector<Property> &properties, const PlayerDirectory *directory,
                 LineParse &result)
{
    Event &chosen = result.line.event;
    std::size_t readings = 0;
    Event possible; // the first reading not ruled out
    std::size_t possibleCount = 0;
    const auto weigh = [&](Event &event) {
        result.readingNames.push_back(event.actor.name);
        result.readingNames.push_back(event.hasOther ? event.other.name : std::string_view());
        if (!impossible(event, directory) && ++possibleCount == 1)
            possible = std::move(event);
    };
    const char *failed = "unreadable player token";
    for (std::size_t end = core.size(); end-- > 2;) {
        if (core[end] != '"' || core[end - 1] != '>' ||
            (end + 1 != core.size() && core[end + 1] != ' '))
            continue;
        Event event;
        if (!splitPlayerToken(core.substr(1, end - 1), event.actor, true))
            continue;
        event.properties = properties;
        std::string_view rest = end + 2 <= core.size() ? core.substr(end + 2) : "";
        takeLeadingPosition(rest, event.actorPosition);
        // The same place in the event as written, its trailing groups included.
        const std::string_view rawRest = fullCore.substr(core.size() - rest.size());
        Reading reading = playerVerb(rest, rawRest, event);
        // An event that is not scored says nothing about where the token ends; a name with
        // quotes there means the quotes are out of balance.
        if (reading == Reading::Unknown && event.actor.name.find('"') != std::string_view::npos)
            reading = Reading::Invalid;
        if (reading == Reading::Invalid) {
            failed = eventKindName(event.kind);
            continue;
        }
        // The usual line has one reading and needs no directory.
        if (++readings == 1) {
            chosen = std::move(event);
            continue;
        }
        if (readings == 2)
            weigh(chosen); // weighed only now that there is a second
        weigh(event);
    }
    if (readings == 0) {
        result.reason = "player event that cannot be read (unbalanced quotes or no "
                        "<uid><id><team> group)";
        result.rejected = failed;
        return false;
    }
    if (readings == 1)
        return true;
    if (possibleCount == 1) {
        chosen = std::move(possible);
        return true;
    }
    result.ambiguous = true;
    result.rejected = "ambiguous players";
    result.reason = std::to_string(readings) +
                    " readings of the player names, and what the server said about its players "
                    "does not single one out";
    return false;
}

} // namespace ledgerwell
