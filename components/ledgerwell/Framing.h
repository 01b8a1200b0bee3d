#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ledgerwell {

// How a log datagram was framed.
enum class Framing {
    Hl1,    // FF FF FF FF "log " line
    Source, // FF FF FF FF "R" line
    Secret, // FF FF FF FF "S" secret line: the server's sv_logsecret text, then the line
    Plain   // text lines without a header (replays, relays)
};

struct FramedDatagram
{
    bool ok = false;
    Framing framing = Framing::Plain;
    std::vector<std::string_view> lines; // into the datagram, without line ends
    std::string_view secret;             // Secret framing: the secret as sent, never empty
    std::string reason;                  // why it is not a log datagram, when !ok
};

// Takes the header off. A datagram with a header holds one line; one without is taken as
// plain text and split into lines. Whether they are log lines is the line parser's call.
FramedDatagram unframe(std::string_view bytes);

} // namespace ledgerwell
