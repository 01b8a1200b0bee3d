#include "AllowedSender.h"

#include "TextRules.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstring>

namespace ledgerwell {

namespace {

std::optional<int> parsePort(std::string_view text)
{
    int port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (!isDigits(text) || error != std::errc() || end != text.data() + text.size() || port < 1 ||
        port > 65535)
        return std::nullopt;
    return port;
}

std::optional<AllowedSender> withPort(std::string_view address, std::string_view port,
                                      std::string &reason)
{
    const std::optional<IpAddress> ip = parseIpAddress(address);
    if (!ip) {
        reason = "\"" + std::string(address) + "\" is not an IP address (names are not looked up)";
        return std::nullopt;
    }
    AllowedSender sender{*ip, 0};
    if (port.data()) {
        const std::optional<int> number = parsePort(port);
        if (!number) {
            reason = "\"" + std::string(port) + "\" is not a port from 1 to 65535";
            return std::nullopt;
        }
        sender.port = *number;
    }
    return sender;
}

} // namespace

std::optional<IpAddress> parseIpAddress(std::string_view text)
{
    const std::size_t zone = text.find('%');
    const std::string plain(text.substr(0, zone));
    IpAddress address;
    in_addr v4{};
    if (inet_pton(AF_INET, plain.c_str(), &v4) == 1) {
        address.bytes[10] = address.bytes[11] = 0xFF;
        std::memcpy(address.bytes.data() + 12, &v4, 4);
        return address;
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, plain.c_str(), &v6) == 1) {
        std::memcpy(address.bytes.data(), &v6, 16);
        return address;
    }
    return std::nullopt;
}

std::optional<AllowedSender> parseAllowedSender(std::string_view text, std::string &reason)
{
    if (text.empty()) {
        reason = "an empty entry";
        return std::nullopt;
    }
    if (text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            reason = "\"" + std::string(text) + "\" has no closing ]";
            return std::nullopt;
        }
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') {
            reason = "\"" + std::string(text) + "\" has text after ] that is not :port";
            return std::nullopt;
        }
        return withPort(text.substr(1, close - 1),
                        rest.empty() ? std::string_view() : rest.substr(1), reason);
    }
    // One colon is IPv4 with a port; more are an IPv6 address, whose port needs brackets.
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos && text.find(':', colon + 1) == std::string_view::npos)
        return withPort(text.substr(0, colon), text.substr(colon + 1), reason);
    return withPort(text, std::string_view(), reason);
}

} // namespace ledgerwell
