#pragma once

#include "Framing.h"
#include "TrustRules.h"

#include <string_view>

namespace ledgerwell {

enum class Verdict {
    Taken,
    PortClosed,    // the port's rules could not be read: it takes nothing
    UnknownSender, // not on the port's allow-list
    NoSecret,      // the port has a secret; the datagram is not framed with one
    WrongSecret
};

// Whether a port with these rules takes the datagram. The sender is checked first, so a
// stranger learns nothing about the secret.
Verdict checkSender(const PortTrust &rule, std::string_view senderIp, int senderPort,
                    const FramedDatagram &framed);

// Equal texts, in a time that does not depend on where they differ.
bool sameSecret(std::string_view given, std::string_view expected);

// Why a datagram was refused, for the log file.
std::string_view refusalReason(Verdict verdict);

} // namespace ledgerwell
