#pragma once

// The parts of the line grammar, for parseLine.

#include "LogLine.h"

#include <string_view>
#include <vector>

namespace ledgerwell {

// Lines of the server that start with a quote: the JSON round statistics that CS2 writes
// ("name" : "value" ...) and cvar dumps ("name" = "value").
bool quotedServerLine(std::string_view core, Event &event);

enum class PlayerLine {
    Read,
    Unreadable, // no reading at all; rejected names what could not be read
    Ambiguous,  // several readings, and the directory does not single one out
};

// A line that starts with a player token. core is the event without its trailing groups,
// fullCore the event as written. readings: how many readings the names allow.
PlayerLine playerEvent(std::string_view core, std::string_view fullCore,
                       const std::vector<Property> &properties, Event &chosen,
                       const PlayerDirectory *directory, const char *&rejected,
                       std::size_t &readings);

// Any other line of the server. False when a known kind of line is malformed.
bool serverEvent(std::string_view core, Event &event);

} // namespace ledgerwell
