#pragma once

#include <string_view>

namespace connectionstring {

// Whether two UTF-8 names (connection string keys, provider names) are the same regardless of
// case, as the program compares them (QString's case folding) for the ASCII names it asks
// for: ASCII letters fold, and so do U+017F (long s) and U+212A (Kelvin sign), whose folded
// forms are the ASCII "s" and "k". Other characters compare as they are.
bool sameName(std::string_view a, std::string_view b);

} // namespace connectionstring
