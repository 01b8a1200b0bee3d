#include "PgCopyRows.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace ledgerwell {

namespace {

constexpr std::size_t NumberBytes = 32;

// The most bytes a value can take in the row: the row is sized once and written in place,
// which costs the writer a fraction of appending piece by piece.
std::size_t mostBytes(const Value &value)
{
    switch (value.kind) {
    case Value::Kind::Null:
    case Value::Kind::Ref:
        return 2;
    case Value::Kind::Integer:
    case Value::Kind::Real:
        return NumberBytes;
    case Value::Kind::Text:
    case Value::Kind::Blob:
        return 3 + 2 * value.bytes.size();
    }
    return 0;
}

// Backslash, newline, carriage return and tab would end a value or a row.
char *escaped(char *out, std::string_view text)
{
    for (const char c : text) {
        char escape = 0;
        switch (c) {
        case '\\':
            escape = '\\';
            break;
        case '\n':
            escape = 'n';
            break;
        case '\r':
            escape = 'r';
            break;
        case '\t':
            escape = 't';
            break;
        default:
            *out++ = c;
            continue;
        }
        *out++ = '\\';
        *out++ = escape;
    }
    return out;
}

char *hex(char *out, std::string_view bytes)
{
    static constexpr char Digits[] = "0123456789abcdef";
    // The backslash of bytea's hex form, itself escaped.
    *out++ = '\\';
    *out++ = '\\';
    *out++ = 'x';
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = Digits[byte >> 4];
        *out++ = Digits[byte & 0xF];
    }
    return out;
}

} // namespace

void appendCopyRow(std::string &out, const Value *values, std::size_t count,
                   std::uint32_t byteaColumns)
{
    std::size_t most = count;
    for (std::size_t c = 0; c < count; ++c)
        most += mostBytes(values[c]);
    const std::size_t start = out.size();
    out.resize(start + most);
    char *at = out.data() + start;
    for (std::size_t c = 0; c < count; ++c) {
        if (c)
            *at++ = '\t';
        const Value &value = values[c];
        switch (value.kind) {
        case Value::Kind::Null:
        case Value::Kind::Ref: // always numbered before it is written
            *at++ = '\\';
            *at++ = 'N';
            break;
        case Value::Kind::Integer:
            at = std::to_chars(at, at + NumberBytes, value.integer).ptr;
            break;
        case Value::Kind::Real:
            at = std::to_chars(at, at + NumberBytes, value.real).ptr;
            break;
        case Value::Kind::Text: // a text parameter ends at its first zero byte
            at = escaped(at, std::string_view(value.bytes.c_str()));
            break;
        case Value::Kind::Blob:
            at = byteaColumns & (std::uint32_t(1) << c) ? hex(at, value.bytes)
                                                        : escaped(at, value.bytes);
            break;
        }
    }
    *at++ = '\n';
    out.resize(std::size_t(at - out.data()));
}

} // namespace ledgerwell
