#pragma once

// The parts of the line grammar, for parseLine.

#include "LogLine.h"

#include <string_view>
#include <vector>

namespace ledgerwell {

// Lines of the server that start with a quote: the JSON round statistics that CS2 writes
// ("name" : "value" ...) and cvar dumps ("name" = "value").
bool quotedServerLine(std::string_view core, Event &event);

// A line that starts with a player token. core is the event without its trailing groups,
// fullCore the event as written. Fills result's event, or says why there is none: no
// reading at all, or several that the directory does not tell apart.
bool playerEvent(std::string_view core, std::string_view fullCore,
                 const std::vector<Property> &properties, const PlayerDirectory *directory,
                 LineParse &result);

// Any other line of the server. False when a known kind of line is malformed.
bool serverEvent(std::string_view core, Event &event);

} // namespace ledgerwell
