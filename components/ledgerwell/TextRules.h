#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ledgerwell {

bool isValidUtf8(std::string_view text);
// Old game servers write names in a single-byte code page; text that is not valid UTF-8 is
// read as Windows-1252 (a superset of Latin-1's printable characters), never as U+FFFD.
std::string fromWindows1252(std::string_view text);
// The line as UTF-8: itself when valid, else decoded into buffer.
inline std::string_view asUtf8(std::string_view line, std::string &buffer)
{
    if (isValidUtf8(line))
        return line;
    buffer = fromWindows1252(line);
    return buffer;
}

// The text as it is stored: NUL and control characters removed (so every stored value is
// one clean line), then cut to at most maxChars characters, never inside a character.
// The input must be valid UTF-8.
std::string storedText(std::string_view text, std::size_t maxChars);

// ASCII letters only: the log's keywords are English, and other bytes are compared as they are.
inline char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Inline: a line is matched against a few dozen keywords, nearly all of which differ in the
// first letter.
inline bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

// Without blanks and tabs at either end.
inline std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Character-set scans written as plain loops: the library's find_first_of calls memchr once
// per character, which showed as a quarter of the parser's time.
inline bool containsAnyOf(std::string_view text, std::string_view set)
{
    for (const char c : text) {
        for (const char s : set) {
            if (c == s)
                return true;
        }
    }
    return false;
}
inline bool isDigits(std::string_view text)
{
    if (text.empty())
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}
inline bool startsWithIgnoreCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equalsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// Text for a note line: control characters shown as '?', cut to maxBytes with "...".
std::string noteExcerpt(std::string_view text, std::size_t maxBytes = 160);

} // namespace ledgerwell
