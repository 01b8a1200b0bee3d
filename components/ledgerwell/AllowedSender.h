#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace ledgerwell {

// An IP address as 16 bytes; IPv4 is kept IPv4-mapped, so "203.0.113.7" and
// "::ffff:203.0.113.7" are one sender.
struct IpAddress
{
    std::array<unsigned char, 16> bytes{};
    bool operator==(const IpAddress &) const = default;
};

// Dotted IPv4 or IPv6 text; a zone ("%eth0") is left out. Names are never looked up.
std::optional<IpAddress> parseIpAddress(std::string_view text);

// One entry of a port's allow-list: an address, and the sender port when one is named.
struct AllowedSender
{
    IpAddress address;
    int port = 0; // 0: any sender port

    bool admits(const IpAddress &sender, int senderPort) const
    {
        return address == sender && (port == 0 || port == senderPort);
    }
};

// "203.0.113.7", "203.0.113.7:27015", "2001:db8::5", "[2001:db8::5]" or
// "[2001:db8::5]:27015". Nothing, with reason set, when the text is none of these.
std::optional<AllowedSender> parseAllowedSender(std::string_view text, std::string &reason);

} // namespace ledgerwell
