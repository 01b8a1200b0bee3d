#pragma once

// Small readings of log values that the scoring steps share.

#include <cstdint>
#include <limits>
#include <string_view>

#include "TextRules.h"

namespace ledgerwell::rules {

// "12", "-3", "+4 kills" -> the number; anything else is 0.
inline std::int64_t leadingNumber(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
        negative = text[pos++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t limit = std::numeric_limits<std::int32_t>::max();
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos++] - '0');
        if (value > limit)
            value = limit;
    }
    return negative ? -value : value;
}

// "/home/hlds/cstrike" -> "cstrike"
inline std::string_view lastPathPart(std::string_view path)
{
    while (!path.empty() && (path.back() == '/' || path.back() == '\\'))
        path.remove_suffix(1);
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace ledgerwell::rules
