#include "Framing.h"

#include <cstdio>

namespace ledgerwell {

namespace {

constexpr std::string_view Header = "\xFF\xFF\xFF\xFF";

std::string hexByte(char c)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned char>(c));
    return text;
}

// Lines end with "\n" and the datagram with a NUL; neither is part of a line.
std::string_view withoutLineEnds(std::string_view body)
{
    while (!body.empty() && (body.back() == '\0' || body.back() == '\n' || body.back() == '\r'))
        body.remove_suffix(1);
    return body;
}

void splitLines(std::string_view body, std::vector<std::string_view> &lines)
{
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('\n', start);
        if (end == std::string_view::npos)
            end = body.size();
        std::string_view line = body.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty())
            lines.push_back(line);
        start = end + 1;
    }
}

} // namespace

FramedDatagram unframe(std::string_view bytes)
{
    FramedDatagram result;
    if (bytes.empty()) {
        result.reason = "empty datagram";
        return result;
    }
    std::string_view body = bytes;
    if (bytes.substr(0, Header.size()) == Header) {
        body.remove_prefix(Header.size());
        if (body.substr(0, 4) == "log ") {
            result.framing = Framing::Hl1;
            body.remove_prefix(4);
        } else if (!body.empty() && body.front() == 'R') {
            result.framing = Framing::Source;
            body.remove_prefix(1);
        } else if (!body.empty() && body.front() == 'S') {
            result.framing = Framing::Secret;
            body.remove_prefix(1);
            std::size_t digits = 0;
            while (digits < body.size() && body[digits] >= '0' && body[digits] <= '9')
                ++digits;
            if (digits == 0) {
                result.reason = "log header \"S\" without a numeric secret";
                return result;
            }
            body.remove_prefix(digits);
            if (body.substr(0, 4) == "log ")
                body.remove_prefix(4); // the HL1 form keeps its "log " after the secret
        } else {
            result.reason = body.empty() ? std::string("header without a log line")
                                         : "unknown header FF FF FF FF " + hexByte(body.front());
            return result;
        }
    }
    if (result.framing == Framing::Plain) {
        splitLines(withoutLineEnds(body), result.lines);
    } else {
        // A server sends one line per datagram; a line break inside it came from a player's
        // name and must not start a second, forged line.
        const std::string_view line = withoutLineEnds(body);
        if (!line.empty())
            result.lines.push_back(line);
    }
    if (result.lines.empty()) {
        result.reason = "no log line in the datagram";
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace ledgerwell
