#pragma once

#include "AllowedSender.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ledgerwell {

// What one listen port takes.
struct PortTrust
{
    std::vector<AllowedSender> allow; // empty: every sender
    std::string secret;               // empty: any framing
    std::string closed;               // why the port takes nothing; empty while it is open
    std::size_t line = 0;             // the section's header line

    bool admitsSender(const IpAddress &sender, int senderPort) const;
};

struct TrustProblem
{
    std::size_t line = 0; // 0: the file as a whole
    std::string reason;
    std::string closes; // what takes no datagrams because of it: "port 28000", "every port" ...
};

// Ledgerwell.ini: one section a listen port, [default] for ports without one of their own.
//
//   [28000]
//   allow = 203.0.113.7, 198.51.100.20:27015, 2001:db8::5, [2001:db8::6]:27015
//   secret = 48151623
//
// A bad line never widens access: one in a port's section closes that port, one in [default]
// closes the ports it would cover, and one that belongs to no port (a bad section header, a
// setting before the first section), or a file that exists but cannot be read, closes every
// port. A missing file restricts nothing.
class TrustRules
{
public:
    static TrustRules read(const std::string &path);
    static TrustRules parse(std::string_view text, std::string path = {});
    // Rules that take nothing on any port, for a file that is there but cannot be read.
    static TrustRules unreadable(const std::string &path, const std::string &why);

    // The port's own section, else [default], else nothing: every sender is taken.
    const PortTrust *forPort(int port) const;
    bool hasOwnSection(int port) const { return m_ports.count(port) > 0; }
    const std::vector<TrustProblem> &problems() const { return m_problems; }
    const std::string &path() const { return m_path; }
    bool fileFound() const { return m_fileFound; }

private:
    class Reader;

    std::string m_path;
    bool m_fileFound = true;
    std::map<int, PortTrust> m_ports;
    std::optional<PortTrust> m_default;
    std::optional<PortTrust> m_everyPort; // set when the file as a whole cannot be trusted
    std::vector<TrustProblem> m_problems;
};

} // namespace ledgerwell
