#include "SenderCheck.h"

namespace ledgerwell {

Verdict checkSender(const PortTrust &rule, std::string_view senderIp, int senderPort,
                    const FramedDatagram &framed)
{
    if (!rule.closed.empty())
        return Verdict::PortClosed;
    if (!rule.allow.empty()) {
        const std::optional<IpAddress> sender = parseIpAddress(senderIp);
        if (!sender || !rule.admitsSender(*sender, senderPort))
            return Verdict::UnknownSender;
    }
    if (rule.secret.empty())
        return Verdict::Taken;
    if (framed.framing != Framing::Secret || framed.secret.empty())
        return Verdict::NoSecret;
    return sameSecret(framed.secret, rule.secret) ? Verdict::Taken : Verdict::WrongSecret;
}

bool sameSecret(std::string_view given, std::string_view expected)
{
    // Every byte of the longer text is looked at, whatever the others hold; a difference in
    // length counts as one more difference.
    const std::size_t length = given.size() > expected.size() ? given.size() : expected.size();
    unsigned difference = given.size() == expected.size() ? 0u : 1u;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char a = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
        const unsigned char b = i < expected.size() ? static_cast<unsigned char>(expected[i]) : 0;
        difference |= unsigned(a ^ b);
    }
    return difference == 0;
}

std::string_view refusalReason(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Taken:
        return "taken";
    case Verdict::PortClosed:
        return "the port takes no datagrams until its rules in Ledgerwell.ini are fixed";
    case Verdict::UnknownSender:
        return "the sender is not on the port's allow-list";
    case Verdict::NoSecret:
        return "the datagram carries no log secret (it is not framed with \"S\")";
    case Verdict::WrongSecret:
        return "the datagram's log secret is not the port's";
    }
    return "refused";
}

} // namespace ledgerwell
