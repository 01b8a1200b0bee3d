#include "Framing.h"

#include <cctype>
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

// Servers that were given a token with their log address put "T", 16 hex digits and a
// blank before the line.
bool startsWithToken(std::string_view text)
{
    constexpr std::size_t Digits = 16;
    if (text.size() < Digits + 2 || text.front() != 'T' || text[Digits + 1] != ' ')
        return false;
    for (std::size_t i = 1; i <= Digits; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

std::string_view withoutToken(std::string_view body)
{
    return startsWithToken(body) ? body.substr(18) : body;
}

// "MM/DD/YYYY - ": how a line a server posted over HTTP starts.
bool startsWithHttpDate(std::string_view text)
{
    if (text.size() < 13 || text[2] != '/' || text[5] != '/' || text.substr(10, 3) != " - ")
        return false;
    for (const std::size_t i : {0, 1, 3, 4, 6, 7, 8, 9}) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

// The server writes its sv_logsecret text as it was set and the line straight after it, with
// no separator, so the secret ends where the line begins: at the first "L " (every log line
// starts so), "log " (the HL1 form), token or the date of a line posted over HTTP (whose
// secret token the program puts in front the same way). A secret cannot hold a blank, so
// none of these can start inside it. npos when no line follows.
std::size_t secretEnd(std::string_view body)
{
    for (std::size_t i = 0; i < body.size(); ++i) {
        const std::string_view rest = body.substr(i);
        if (rest.starts_with("L ") || rest.starts_with("log ") || startsWithToken(rest) ||
            startsWithHttpDate(rest))
            return i;
    }
    return std::string_view::npos;
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
            body = withoutToken(body.substr(1));
        } else if (!body.empty() && body.front() == 'S') {
            result.framing = Framing::Secret;
            body.remove_prefix(1);
            const std::size_t start = secretEnd(body);
            if (start == 0 || start == std::string_view::npos) {
                result.reason = start == 0 ? "log header \"S\" without a secret"
                                           : "log header \"S\" without a log line after the secret";
                return result;
            }
            result.secret = body.substr(0, start);
            body = withoutToken(body.substr(start));
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
