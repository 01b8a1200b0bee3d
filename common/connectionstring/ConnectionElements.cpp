#include "ConnectionElements.h"

#include "KeyCase.h"
#include "Utf8Blanks.h"

namespace connectionstring {

namespace {

constexpr auto npos = std::string_view::npos;

// Reads a quoted value starting at the opening quote; pos ends after the closing quote.
std::string readQuoted(std::string_view text, std::size_t &pos)
{
    const char quote = text[pos++];
    std::string value;
    while (pos < text.size()) {
        const char c = text[pos++];
        if (c != quote) {
            value += c;
            continue;
        }
        if (pos < text.size() && text[pos] == quote) {
            value += quote;
            ++pos;
            continue;
        }
        break;
    }
    return value;
}

} // namespace

ConnectionElements ConnectionElements::parse(std::string_view text)
{
    ConnectionElements result;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t equals = text.find('=', pos);
        const std::size_t semicolon = text.find(';', pos);
        if (equals == npos || semicolon < equals) {
            // An element without "=" names nothing; skip it.
            if (semicolon == npos)
                break;
            pos = semicolon + 1;
            continue;
        }
        const std::string_view key = trimBlanks(text.substr(pos, equals - pos));
        pos = equals + 1;
        pos += leadingBlanks(text.substr(pos));
        std::string value;
        if (pos < text.size() && (text[pos] == '"' || text[pos] == '\''))
            value = readQuoted(text, pos);
        else
            value = trimBlanks(text.substr(pos, text.find(';', pos) - pos));
        const std::size_t end = text.find(';', pos);
        pos = end == npos ? text.size() : end + 1;
        if (!key.empty())
            result.m_elements.push_back({std::string(key), std::move(value)});
    }
    return result;
}

const Element *ConnectionElements::find(std::string_view key) const
{
    for (auto it = m_elements.crbegin(); it != m_elements.crend(); ++it) {
        if (sameName(it->key, key))
            return &*it;
    }
    return nullptr;
}

std::string_view ConnectionElements::value(std::string_view key) const
{
    const Element *element = find(key);
    return element ? std::string_view(element->value) : std::string_view();
}

} // namespace connectionstring
