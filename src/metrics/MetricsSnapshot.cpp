#include "MetricsSnapshot.h"

#include "platform/KernelDrops.h"

#include <algorithm>

MetricsSnapshot takeSnapshot(const BoundPorts &ports, const ScoringComponentFactory &factory)
{
    MetricsSnapshot snapshot;
    // The kernel's table also counts drops that no read has told of yet.
    const std::map<quint64, quint64> table = kernelDropsTable();
    const auto relaxed = [](const std::atomic<quint64> &counter) {
        return counter.load(std::memory_order_relaxed);
    };
    for (const BoundPort &bound : ports.list()) {
        PortFigures figures;
        figures.connection = bound.connection;
        figures.port = bound.port;
        figures.datagramsReceived = bound.inbox->received();
        figures.datagramsRefusedMemoryFull = bound.inbox->refused();
        figures.kernelDrops = bound.inbox->kernelDrops();
        figures.kernelDrops =
            std::max(figures.kernelDrops, kernelDropsInTable(table, bound.socketInodes));
        const PortCounters &c = *bound.counters;
        figures.datagramsHandedOver = relaxed(c.datagramsHandedOver);
        figures.datagramsRefusedSender = relaxed(c.datagramsRefusedSender);
        figures.datagramsNotHandedOver = relaxed(c.datagramsNotHandedOver);
        figures.linesReceived = relaxed(c.linesReceived);
        figures.linesHandedOver = relaxed(c.linesHandedOver);
        figures.linesNotHandedOver = relaxed(c.linesNotHandedOver);
        snapshot.ports.push_back(figures);
    }
    snapshot.component = factory.figures();
    return snapshot;
}
