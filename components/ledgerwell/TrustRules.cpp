#include "TrustRules.h"

#include "TextRules.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ledgerwell {

namespace {

constexpr std::size_t MaxFileBytes = 1 << 20;
constexpr std::size_t MaxSecretChars = 64;

std::optional<int> portOfSection(std::string_view name)
{
    if (!isDigits(name) || name.size() > 5)
        return std::nullopt;
    const int port = std::stoi(std::string(name));
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

std::string_view unquoted(std::string_view value)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

// A game server sends its secret only while sv_logsecret holds a number other than 0, and
// sends the text as it was set. A CS2 server posting over HTTP sends, instead of its
// logaddress_token_secret, a token of 16 hex digits made from it (X-Server-Unique-Token),
// which the program puts where a datagram has its secret.
bool isSendableSecret(std::string_view secret)
{
    const std::string_view digits =
        !secret.empty() && secret.front() == '-' ? secret.substr(1) : secret;
    if (secret.size() <= MaxSecretChars && isDigits(digits) &&
        digits.find_first_not_of('0') != std::string_view::npos)
        return true;
    return secret.size() == 16 &&
           secret.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
}

std::vector<std::string_view> commaSeparated(std::string_view value)
{
    std::vector<std::string_view> items;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t comma = value.find(',', start);
        if (comma == std::string_view::npos)
            comma = value.size();
        items.push_back(trimmed(value.substr(start, comma - start)));
        start = comma + 1;
    }
    return items;
}

} // namespace

bool PortTrust::admitsSender(const IpAddress &sender, int senderPort) const
{
    if (allow.empty())
        return true;
    for (const AllowedSender &allowed : allow) {
        if (allowed.admits(sender, senderPort))
            return true;
    }
    return false;
}

// Reads the file line by line into the rules; every problem closes what the line belongs to.
class TrustRules::Reader
{
public:
    explicit Reader(TrustRules &rules)
        : m_rules(rules)
    {
    }

    void line(std::size_t number, std::string_view text)
    {
        text = trimmed(text);
        if (text.empty() || text.front() == ';' || text.front() == '#')
            return;
        if (text.front() == '[')
            section(number, text);
        else
            setting(number, text);
    }

    void closeEveryPort(std::size_t number, const std::string &reason)
    {
        m_rules.m_problems.push_back({number, reason, "every port"});
        if (!m_rules.m_everyPort) {
            m_rules.m_everyPort.emplace();
            m_rules.m_everyPort->closed = where(number) + reason;
        }
    }

private:
    static std::string where(std::size_t number)
    {
        return number ? "line " + std::to_string(number) + ": " : std::string();
    }

    void close(PortTrust &section, std::size_t number, const std::string &reason)
    {
        m_rules.m_problems.push_back({number, reason, m_currentName});
        if (section.closed.empty())
            section.closed = where(number) + reason;
    }

    void section(std::size_t number, std::string_view text)
    {
        m_current = nullptr;
        m_seenSection = true;
        if (text.back() != ']') {
            closeEveryPort(number, "a section header must end with ]");
            return;
        }
        const std::string_view name = trimmed(text.substr(1, text.size() - 2));
        const std::optional<int> port = portOfSection(name);
        std::optional<PortTrust> *fallback = &m_rules.m_default;
        if (!port && !equalsIgnoreCase(name, "default")) {
            closeEveryPort(number, "[" + std::string(name) +
                                       "] is neither a listen port (1 to 65535) nor [default]");
            return;
        }
        const bool repeated = port ? m_rules.m_ports.count(*port) > 0 : fallback->has_value();
        m_currentName = port ? "port " + std::to_string(*port)
                             : std::string("every port without a section of its own");
        if (port)
            m_current = &m_rules.m_ports[*port];
        else
            m_current = repeated ? &**fallback : &fallback->emplace();
        if (repeated) {
            close(*m_current, number, "a second [" + std::string(name) + "] section");
            return;
        }
        m_current->line = number;
    }

    void setting(std::size_t number, std::string_view text)
    {
        if (!m_current) {
            // After a bad header the line's port is unknown; that header closed every port.
            if (!m_seenSection)
                closeEveryPort(number, "a setting before the first section");
            return;
        }
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos) {
            close(*m_current, number, "not a \"name = value\" line");
            return;
        }
        const std::string_view name = trimmed(text.substr(0, equals));
        const std::string_view value = trimmed(text.substr(equals + 1));
        if (equalsIgnoreCase(name, "allow"))
            allow(number, value);
        else if (equalsIgnoreCase(name, "secret"))
            secret(number, unquoted(value));
        else
            close(*m_current, number,
                  "unknown setting \"" + std::string(name) + "\" (allow or secret)");
    }

    void allow(std::size_t number, std::string_view value)
    {
        if (value.empty()) {
            close(*m_current, number, "allow names no sender");
            return;
        }
        std::vector<AllowedSender> senders;
        for (const std::string_view item : commaSeparated(value)) {
            std::string reason;
            const std::optional<AllowedSender> sender = parseAllowedSender(item, reason);
            if (!sender) {
                close(*m_current, number, "allow: " + reason);
                return;
            }
            senders.push_back(*sender);
        }
        // Several allow lines add up, so a long list can be split.
        m_current->allow.insert(m_current->allow.end(), senders.begin(), senders.end());
    }

    void secret(std::size_t number, std::string_view value)
    {
        if (!m_current->secret.empty()) {
            close(*m_current, number, "a second secret");
            return;
        }
        if (!isSendableSecret(value)) {
            close(*m_current, number,
                  "secret must be a whole number other than 0, as set with sv_logsecret (a "
                  "game server sends no secret otherwise), or the 16 hex digits a CS2 server "
                  "posts as X-Server-Unique-Token");
            return;
        }
        m_current->secret = value;
    }

    TrustRules &m_rules;
    PortTrust *m_current = nullptr;
    std::string m_currentName;
    bool m_seenSection = false;
};

TrustRules TrustRules::parse(std::string_view text, std::string path)
{
    TrustRules rules;
    rules.m_path = std::move(path);
    Reader reader(rules);
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3); // a byte order mark from an editor
    std::size_t number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        reader.line(++number, line);
        start = end + 1;
    }
    return rules;
}

TrustRules TrustRules::read(const std::string &path)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file && errno == ENOENT) {
        TrustRules rules;
        rules.m_path = path;
        rules.m_fileFound = false;
        return rules;
    }
    if (!file)
        return unreadable(path, std::strerror(errno));
    std::string text(MaxFileBytes + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    const int readError = std::ferror(file) ? (errno ? errno : EIO) : 0;
    std::fclose(file);
    if (readError)
        return unreadable(path, std::strerror(readError));
    if (text.size() > MaxFileBytes)
        return unreadable(path, "it is larger than 1 MB");
    return parse(text, path);
}

TrustRules TrustRules::unreadable(const std::string &path, const std::string &why)
{
    TrustRules rules;
    rules.m_path = path;
    Reader(rules).closeEveryPort(0, "the file cannot be read: " + why);
    return rules;
}

const PortTrust *TrustRules::forPort(int port) const
{
    if (m_everyPort)
        return &*m_everyPort;
    if (const auto own = m_ports.find(port); own != m_ports.end())
        return &own->second;
    return m_default ? &*m_default : nullptr;
}

} // namespace ledgerwell
