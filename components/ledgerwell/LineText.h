#pragma once

// Small scanning steps shared by the line grammar's parts.

#include "LogLine.h"
#include "TextRules.h"

#include <string_view>

namespace ledgerwell::linetext {

inline bool hasQuote(std::string_view text)
{
    return text.find('"') != std::string_view::npos;
}

inline bool takePrefix(std::string_view &text, std::string_view prefix)
{
    if (!startsWithIgnoreCase(text, prefix))
        return false;
    text.remove_prefix(prefix.size());
    return true;
}

// "value" spanning all of text; value without quotes when strict.
inline bool quotedWhole(std::string_view text, std::string_view &value, bool strict)
{
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        return false;
    value = text.substr(1, text.size() - 2);
    return !strict || !hasQuote(value);
}

// The last place needle occurs in text, letters compared without case, or npos.
std::size_t rfindIgnoreCase(std::string_view text, std::string_view needle);

// "x y z": three numbers.
bool isPosition(std::string_view text);

// Takes a `[x y z]` position and the blank after it off the start of text.
bool takeLeadingPosition(std::string_view &text, std::string_view &position);

// Takes a `[x y z]` position off the end of text (after a blank); position gets the inside.
bool takeTrailingPosition(std::string_view &text, std::string_view &position);

// Takes `<separator>"value"` off the end of text, value holding no quote.
bool takeTrailingQuoted(std::string_view &text, std::string_view separator,
                        std::string_view &value);

// `"TOKEN"`, optionally followed by a position, spanning all of text.
bool wholeToken(std::string_view text, PlayerToken &token, std::string_view &position);

} // namespace ledgerwell::linetext
