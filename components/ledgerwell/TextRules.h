#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ledgerwell {

// Replaces every invalid UTF-8 sequence with U+FFFD; true when something was replaced.
// Old game servers send names in single-byte code pages; the database needs valid text.
bool repairUtf8(std::string &text);
bool isValidUtf8(std::string_view text);

// The text as it is stored: NUL and control characters removed (so every stored value is
// one clean line), then cut to at most maxChars characters, never inside a character.
// The input must be valid UTF-8.
std::string storedText(std::string_view text, std::size_t maxChars);

bool equalsIgnoreCase(std::string_view a, std::string_view b);
bool startsWithIgnoreCase(std::string_view text, std::string_view prefix);

// Text for a note line: control characters shown as '?', cut to maxBytes with "...".
std::string noteExcerpt(std::string_view text, std::size_t maxBytes = 160);

} // namespace ledgerwell
