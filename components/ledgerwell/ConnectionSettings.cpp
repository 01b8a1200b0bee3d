#include "ConnectionSettings.h"

#include <climits>
#include <cstdlib>

#include "TextRules.h"

#include <charconv>
#include <map>

namespace ledgerwell {

namespace {

std::string lowered(std::string_view text)
{
    std::string result(text);
    for (char &c : result) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return result;
}

// Splits into lower-cased keys and values; false when a quoted value is not closed.
bool splitPairs(std::string_view text, std::map<std::string, std::string> &pairs)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t equals = text.find('=', pos);
        const std::size_t semicolon = text.find(';', pos);
        if (equals == std::string_view::npos || semicolon < equals) {
            pos = semicolon == std::string_view::npos ? text.size() : semicolon + 1;
            continue; // a segment without a value
        }
        const std::string key = lowered(trimmed(text.substr(pos, equals - pos)));
        std::size_t valueStart = equals + 1;
        while (valueStart < text.size() && text[valueStart] == ' ')
            ++valueStart;
        std::string value;
        if (valueStart < text.size() && (text[valueStart] == '"' || text[valueStart] == '\'')) {
            const char quote = text[valueStart];
            std::size_t i = valueStart + 1;
            bool closed = false;
            while (i < text.size()) {
                if (text[i] == quote) {
                    if (i + 1 < text.size() && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                value += text[i++];
            }
            if (!closed)
                return false;
            const std::size_t next = text.find(';', i);
            pos = next == std::string_view::npos ? text.size() : next + 1;
        } else {
            const std::size_t end = semicolon == std::string_view::npos ? text.size() : semicolon;
            value = std::string(trimmed(text.substr(valueStart, end - valueStart)));
            pos = end + 1;
        }
        if (!key.empty())
            pairs[key] = value;
    }
    return true;
}

std::string valueOf(const std::map<std::string, std::string> &pairs, const char *key)
{
    const auto found = pairs.find(key);
    return found == pairs.end() ? std::string() : found->second;
}

// host, host:port or [v6]:port.
bool splitHostPort(const std::string &source, std::string &host, int &port)
{
    std::string portText;
    if (!source.empty() && source.front() == '[') {
        const std::size_t close = source.find(']');
        if (close == std::string::npos)
            return false;
        host = source.substr(1, close - 1);
        if (close + 1 < source.size()) {
            if (source[close + 1] != ':')
                return false;
            portText = source.substr(close + 2);
        }
    } else {
        const std::size_t colon = source.rfind(':');
        host = source.substr(0, colon);
        if (colon != std::string::npos)
            portText = source.substr(colon + 1);
    }
    if (portText.empty())
        return !host.empty();
    int value = 0;
    const auto [end, error] =
        std::from_chars(portText.data(), portText.data() + portText.size(), value);
    if (error != std::errc() || end != portText.data() + portText.size() || value < 1 ||
        value > 65535)
        return false;
    port = value;
    return !host.empty();
}

} // namespace

std::optional<ConnectionSettings> parseConnectionString(std::string_view text, std::string &error)
{
    std::map<std::string, std::string> pairs;
    if (!splitPairs(text, pairs)) {
        error = "The connection string has a quoted value that is not closed.";
        return std::nullopt;
    }
    const std::string provider = valueOf(pairs, "provider");
    const std::string source = valueOf(pairs, "data source");
    ConnectionSettings settings;
    if (equalsIgnoreCase(provider, "Microsoft.Jet.OLEDB.3.51") ||
        equalsIgnoreCase(provider, "Microsoft.Jet.OLEDB.4.0") ||
        equalsIgnoreCase(provider, "SQLite")) {
        if (source.empty()) {
            error = "The connection string names no database file (Data Source).";
            return std::nullopt;
        }
        settings.engine = ConnectionSettings::Engine::Sqlite;
        settings.file = source;
        return settings;
    }
    if (equalsIgnoreCase(provider, "PostgreSQL")) {
        settings.engine = ConnectionSettings::Engine::Postgres;
        if (source.empty() || !splitHostPort(source, settings.host, settings.port)) {
            error = "The connection string names no valid server (Data Source = host[:port]): \"" +
                    noteExcerpt(source) + "\".";
            return std::nullopt;
        }
        settings.database = valueOf(pairs, "initial catalog");
        if (settings.database.empty()) {
            error = "The connection string names no database (Initial Catalog).";
            return std::nullopt;
        }
        settings.user = valueOf(pairs, "user id");
        settings.password = pairs.count("user password") ? valueOf(pairs, "user password")
                                                         : valueOf(pairs, "password");
        return settings;
    }
    error = provider.empty()
                ? std::string("The connection string names no Provider.")
                : "Ledgerwell cannot write to the provider \"" + noteExcerpt(provider) +
                      "\"; it writes to SQLite files (Provider=SQLite or the Jet "
                      "providers) and to PostgreSQL.";
    return std::nullopt;
}

std::string databaseIdentity(const ConnectionSettings &settings)
{
    if (settings.engine == ConnectionSettings::Engine::Sqlite) {
        char resolved[PATH_MAX];
        return "sqlite:" +
               std::string(::realpath(settings.file.c_str(), resolved) ? resolved : settings.file);
    }
    std::string host = settings.host;
    for (char &c : host)
        c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    if (host == "localhost" || host == "::1")
        host = "127.0.0.1";
    return "postgres:" + host + ":" + std::to_string(settings.port) + "/" + settings.database;
}

} // namespace ledgerwell
