#pragma once

#include "intake/ScoringComponentFactory.h"
#include "platform/BoundPorts.h"

#include <vector>

// One port's figures at the moment of a scrape.
struct PortFigures
{
    int connection = 0;
    quint16 port = 0;
    quint64 datagramsReceived = 0;
    quint64 datagramsRefusedMemoryFull = 0; // read, but the reader's budget was spent
    quint64 datagramsHandedOver = 0;
    quint64 datagramsRefusedSender = 0;
    quint64 datagramsNotHandedOver = 0;
    quint64 kernelDrops = 0;
    quint64 linesReceived = 0;
    quint64 linesHandedOver = 0;
    quint64 linesNotHandedOver = 0;
};

// What the metrics and health pages show, gathered on the server's thread.
struct MetricsSnapshot
{
    std::vector<PortFigures> ports;
    ScoringComponentFactory::Figures component;
};

MetricsSnapshot takeSnapshot(const BoundPorts &ports, const ScoringComponentFactory &factory);
