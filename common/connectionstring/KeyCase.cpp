#include "KeyCase.h"

namespace connectionstring {

namespace {

// The folded form of the character that text starts with, and how many bytes it takes.
char32_t foldedFirst(std::string_view text, std::size_t &length)
{
    const auto lead = static_cast<unsigned char>(text.front());
    length = 1;
    if (lead >= 'A' && lead <= 'Z')
        return lead - 'A' + 'a';
    if (text.substr(0, 2) == "\xC5\xBF") { // U+017F
        length = 2;
        return 's';
    }
    if (text.substr(0, 3) == "\xE2\x84\xAA") { // U+212A
        length = 3;
        return 'k';
    }
    return lead;
}

} // namespace

bool sameName(std::string_view a, std::string_view b)
{
    while (!a.empty() && !b.empty()) {
        std::size_t lengthA = 0;
        std::size_t lengthB = 0;
        if (foldedFirst(a, lengthA) != foldedFirst(b, lengthB))
            return false;
        a.remove_prefix(lengthA);
        b.remove_prefix(lengthB);
    }
    return a.empty() && b.empty();
}

} // namespace connectionstring
