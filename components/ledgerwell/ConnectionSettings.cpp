#include "ConnectionSettings.h"

#include <climits>
#include <cstdlib>

#include "TextRules.h"
#include "connectionstring/ConnectionElements.h"
#include "connectionstring/KeyCase.h"

#include <charconv>

namespace ledgerwell {

namespace {

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
    const auto elements = connectionstring::ConnectionElements::parse(text);
    const std::string provider(elements.value("Provider"));
    const std::string source(elements.value("Data Source"));
    ConnectionSettings settings;
    using connectionstring::sameName;
    if (sameName(provider, "Microsoft.Jet.OLEDB.3.51") ||
        sameName(provider, "Microsoft.Jet.OLEDB.4.0") || sameName(provider, "SQLite")) {
        if (source.empty()) {
            error = "The connection string names no database file (Data Source).";
            return std::nullopt;
        }
        settings.engine = ConnectionSettings::Engine::Sqlite;
        settings.file = source;
        return settings;
    }
    if (sameName(provider, "PostgreSQL")) {
        settings.engine = ConnectionSettings::Engine::Postgres;
        if (source.empty() || !splitHostPort(source, settings.host, settings.port)) {
            error = "The connection string names no valid server (Data Source = host[:port]): \"" +
                    noteExcerpt(source) + "\".";
            return std::nullopt;
        }
        settings.database = elements.value("Initial Catalog");
        if (settings.database.empty()) {
            error = "The connection string names no database (Initial Catalog).";
            return std::nullopt;
        }
        settings.user = elements.value("User ID");
        settings.password = elements.contains("User Password") ? elements.value("User Password")
                                                               : elements.value("Password");
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
