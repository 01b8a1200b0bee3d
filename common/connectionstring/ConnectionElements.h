#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace connectionstring {

struct Element
{
    std::string key;
    std::string value;
};

// A UTF-8 connection string read the way the database providers read it: elements key=value
// separated by ";", in the order written. Keys are compared without regard to case (sameName)
// and keys and unquoted values lose their leading and trailing blanks (Utf8Blanks). A value
// that starts with " or ' runs to the matching quote, a doubled quote standing for one; what
// follows it up to the next ";" is ignored, and a quote that is never closed runs to the end.
// An element without "=" or with an empty key names nothing. Of repeated keys the last counts.
class ConnectionElements
{
public:
    static ConnectionElements parse(std::string_view utf8);

    const std::vector<Element> &elements() const { return m_elements; }
    // The element that counts for key, or null when the string has none.
    const Element *find(std::string_view key) const;
    bool contains(std::string_view key) const { return find(key) != nullptr; }
    // The value of key, or "" when the string has no such element.
    std::string_view value(std::string_view key) const;

private:
    std::vector<Element> m_elements;
};

} // namespace connectionstring
