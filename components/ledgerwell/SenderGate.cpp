#include "SenderGate.h"

namespace ledgerwell {

namespace {

std::string sender(const Datagram &datagram)
{
    return std::string(datagram.senderIp) + ":" + std::to_string(datagram.senderPort);
}

} // namespace

SenderGate::SenderGate(TrustRules rules, Counters &counters)
    : m_rules(std::move(rules))
    , m_counters(counters)
{
}

bool SenderGate::admit(const Datagram &datagram, const FramedDatagram &framed, ProcessLog *log)
{
    const PortTrust *rule = m_rules.forPort(datagram.listenPort);
    if (log)
        introduce(datagram.listenPort, *log);
    const Verdict verdict =
        rule ? checkSender(*rule, datagram.senderIp, datagram.senderPort, framed) : Verdict::Taken;
    if (verdict == Verdict::Taken)
        return true;
    if (verdict == Verdict::NoSecret || verdict == Verdict::WrongSecret)
        add(m_counters.datagramsWrongSecret);
    else
        add(m_counters.datagramsUnknownSender);
    if (log)
        noteRefusal(datagram, verdict, *log);
    return false;
}

void SenderGate::introduce(int port, ProcessLog &log)
{
    if (m_toldProblems.insert(&log).second)
        noteProblems(log);
    if (m_toldPorts.emplace(&log, port).second)
        log.note(portRules(port, m_rules.forPort(port)));
}

void SenderGate::noteProblems(ProcessLog &log)
{
    for (const TrustProblem &problem : m_rules.problems()) {
        const std::string where = problem.line ? " line " + std::to_string(problem.line) : "";
        log.note(m_rules.path() + where + ": " + problem.reason + "; " + problem.closes +
                 " takes no datagrams until this is fixed.");
    }
}

std::string SenderGate::portRules(int port, const PortTrust *rule) const
{
    const std::string name = "port " + std::to_string(port);
    const std::string changes = " Changes to the file take effect at the next start.";
    if (!rule)
        return name +
               " takes datagrams from every sender: no allow-list or secret is set for it (" +
               (m_rules.fileFound() ? m_rules.path() + " has no section for it and no [default]"
                                    : "there is no " + m_rules.path()) +
               ")." + changes;
    const std::string source =
        m_rules.hasOwnSection(port) ? " (its section in " : " (the [default] section of ";
    if (!rule->closed.empty())
        return name + " takes no datagrams until " + m_rules.path() + " is fixed: " + rule->closed +
               "." + changes;
    std::string text = name + " takes datagrams ";
    text += rule->allow.empty() ? std::string("from every sender")
                                : "from " + std::to_string(rule->allow.size()) + " allowed " +
                                      (rule->allow.size() == 1 ? "address" : "addresses");
    text += rule->secret.empty() ? "" : " with its log secret";
    return text + source + m_rules.path() + ")." + changes;
}

void SenderGate::noteRefusal(const Datagram &datagram, Verdict verdict, ProcessLog &log)
{
    const std::string from = sender(datagram);
    const std::string key = std::to_string(datagram.listenPort) + " " + from;
    const RefusalNotes::Decision decision = m_refusals.refused(key, RefusalNotes::Clock::now());
    if (!decision.note)
        return;
    std::string text = "refused a datagram from " + from + " on port " +
                       std::to_string(datagram.listenPort) + ": " +
                       std::string(refusalReason(verdict)) + "; nothing of it was written.";
    if (decision.skipped > 0)
        text += " " + std::to_string(decision.skipped) + " more were refused from " +
                (decision.pooled ? "other senders" : "this sender") + " since the last note.";
    text += decision.pooled ? " Too many senders are refused to note each; they are noted together "
                              "once a minute."
                            : " Refusals from this sender are noted once a minute.";
    log.note(text);
}

} // namespace ledgerwell
