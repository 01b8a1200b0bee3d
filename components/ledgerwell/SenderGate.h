#pragma once

#include "Counters.h"
#include "Datagram.h"
#include "Framing.h"
#include "ProcessLog.h"
#include "RefusalNotes.h"
#include "SenderCheck.h"
#include "TrustRules.h"

#include <set>
#include <string>
#include <utility>

namespace ledgerwell {

// Lets through only datagrams from the servers a port trusts, before anything of them is
// written. A refused datagram is counted and noted (once a minute a sender), never written.
// Each log file is told once what the rules say about its ports, and what in the file
// could not be read. Called from Process only, one call at a time.
class SenderGate
{
public:
    SenderGate(TrustRules rules, Counters &counters);

    bool admit(const Datagram &datagram, const FramedDatagram &framed, ProcessLog *log);

private:
    void introduce(int port, ProcessLog &log);
    void noteProblems(ProcessLog &log);
    std::string portRules(int port, const PortTrust *rule) const;
    void noteRefusal(const Datagram &datagram, Verdict verdict, ProcessLog &log);

    TrustRules m_rules;
    Counters &m_counters;
    RefusalNotes m_refusals;
    std::set<const ProcessLog *> m_toldProblems;
    std::set<std::pair<const ProcessLog *, int>> m_toldPorts;
};

} // namespace ledgerwell
