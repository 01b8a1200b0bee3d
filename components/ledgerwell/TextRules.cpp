#include "TextRules.h"

namespace ledgerwell {

namespace {

// Length of the valid UTF-8 sequence at text[pos], or 0 when it is not valid.
std::size_t validSequenceLength(std::string_view text, std::size_t pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(pos);
    if (first < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        if (first == 0xE0)
            low = 0xA0; // no overlong forms
        if (first == 0xED)
            high = 0x9F; // no surrogates
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        if (first == 0xF0)
            low = 0x90;
        if (first == 0xF4)
            high = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (pos + length > text.size())
        return 0;
    if (byte(pos + 1) < low || byte(pos + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF)
            return 0;
    }
    return length;
}

// Decodes the valid sequence at text[pos] of the given length.
char32_t codePoint(std::string_view text, std::size_t pos, std::size_t length)
{
    const auto byte = [&](std::size_t i) { return char32_t(static_cast<unsigned char>(text[i])); };
    switch (length) {
    case 1:
        return byte(pos);
    case 2:
        return ((byte(pos) & 0x1F) << 6) | (byte(pos + 1) & 0x3F);
    case 3:
        return ((byte(pos) & 0x0F) << 12) | ((byte(pos + 1) & 0x3F) << 6) | (byte(pos + 2) & 0x3F);
    default:
        return ((byte(pos) & 0x07) << 18) | ((byte(pos + 1) & 0x3F) << 12) |
               ((byte(pos + 2) & 0x3F) << 6) | (byte(pos + 3) & 0x3F);
    }
}

bool isControl(char32_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

} // namespace

bool isValidUtf8(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const std::size_t length = validSequenceLength(text, pos);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

std::string fromWindows1252(std::string_view text)
{
    // 0x80 to 0x9F; the five bytes the code page leaves undefined stand for themselves.
    static constexpr char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string result;
    result.reserve(text.size() + text.size() / 2);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const char32_t point = byte >= 0x80 && byte <= 0x9F ? high[byte - 0x80] : byte;
        if (point < 0x80) {
            result += char(point);
        } else if (point < 0x800) {
            result += char(0xC0 | (point >> 6));
            result += char(0x80 | (point & 0x3F));
        } else {
            result += char(0xE0 | (point >> 12));
            result += char(0x80 | ((point >> 6) & 0x3F));
            result += char(0x80 | (point & 0x3F));
        }
    }
    return result;
}

std::string storedText(std::string_view text, std::size_t maxChars)
{
    // Most names are short printable ASCII: nothing to remove, nothing to cut.
    if (text.size() <= maxChars) {
        bool plain = true;
        for (const char c : text) {
            if (c < 0x20 || c > 0x7E) {
                plain = false;
                break;
            }
        }
        if (plain)
            return std::string(text);
    }
    std::string result;
    result.reserve(text.size() < 64 ? text.size() : 64);
    std::size_t chars = 0;
    std::size_t pos = 0;
    while (pos < text.size() && chars < maxChars) {
        std::size_t length = validSequenceLength(text, pos);
        if (length == 0) {
            ++pos; // callers decode first; a stray byte is never stored
            continue;
        }
        if (!isControl(codePoint(text, pos, length))) {
            result.append(text.substr(pos, length));
            ++chars;
        }
        pos += length;
    }
    return result;
}

std::string noteExcerpt(std::string_view text, std::size_t maxBytes)
{
    std::string result;
    const bool cut = text.size() > maxBytes;
    std::size_t end = cut ? maxBytes : text.size();
    while (cut && end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end; // not inside a character
    for (char c : text.substr(0, end)) {
        const auto byte = static_cast<unsigned char>(c);
        result += (byte < 0x20 || byte == 0x7F) ? '?' : c;
    }
    if (cut)
        result += "...";
    return result;
}

} // namespace ledgerwell
