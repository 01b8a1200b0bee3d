#pragma once

#include <cstdint>
#include <string_view>

namespace ledgerwell {

// What the program set on one instance.
struct Datagram
{
    std::string_view connectionString;
    std::int32_t listenPort = 0;
    std::string_view senderIp;
    std::int32_t senderPort = 0;
    std::string_view logPath;
    std::int16_t rawMode = 1;
    std::string_view payload;
};

} // namespace ledgerwell
