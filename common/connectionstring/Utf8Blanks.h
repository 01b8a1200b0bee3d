#pragma once

#include <cstddef>
#include <string_view>

namespace connectionstring {

// The blanks are the white space the program's text functions (QChar::isSpace) know: TAB to
// CR, the space, NEL, and Unicode's space, line and paragraph separators.
bool isBlank(char32_t codePoint);

// How many bytes of blanks text starts with. Bytes that are not well-formed UTF-8 are never
// blanks, as text read into the program turns them into replacement characters.
std::size_t leadingBlanks(std::string_view text);

// text without its leading and trailing blanks.
std::string_view trimBlanks(std::string_view text);

} // namespace connectionstring
