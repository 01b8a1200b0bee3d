#include "Utf8Blanks.h"

namespace connectionstring {

namespace {

constexpr char32_t NotUtf8 = 0xFFFFFFFF;

struct CodePoint
{
    char32_t value;
    std::size_t length;
};

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The code point that text starts with; NotUtf8 (one byte long) unless its bytes are the
// shortest form of a scalar value.
CodePoint firstCodePoint(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text.front());
    if (lead < 0x80)
        return {lead, 1};
    std::size_t length = 0;
    char32_t value = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        least = 0x10000;
    } else {
        return {NotUtf8, 1};
    }
    if (text.size() < length)
        return {NotUtf8, 1};
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (!isContinuation(byte))
            return {NotUtf8, 1};
        value = (value << 6) | (byte & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return {NotUtf8, 1};
    return {value, length};
}

// The length of the blank that text ends with, or 0.
std::size_t trailingBlank(std::string_view text)
{
    // The last code point starts at the last byte that is not a continuation byte.
    std::size_t start = text.size() - 1;
    while (start > 0 && text.size() - start < 4 &&
           isContinuation(static_cast<unsigned char>(text[start])))
        --start;
    const CodePoint last = firstCodePoint(text.substr(start));
    return last.length == text.size() - start && isBlank(last.value) ? last.length : 0;
}

} // namespace

bool isBlank(char32_t c)
{
    return c == 0x20 || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

std::size_t leadingBlanks(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        const CodePoint next = firstCodePoint(text.substr(pos));
        if (!isBlank(next.value))
            break;
        pos += next.length;
    }
    return pos;
}

std::string_view trimBlanks(std::string_view text)
{
    text.remove_prefix(leadingBlanks(text));
    while (!text.empty()) {
        const std::size_t blank = trailingBlank(text);
        if (blank == 0)
            break;
        text.remove_suffix(blank);
    }
    return text;
}

} // namespace connectionstring
