#pragma once

#include "metrics/MetricsServer.h"

#include <memory>

class MainModule;
class ScoringComponentFactory;

// The metrics and health pages on the address the operator chose. A port that cannot listen
// is told in the status line and on standard error, and the program goes on receiving; the
// address taken is told on standard error, so a port 0 can be found.
std::unique_ptr<MetricsServer> startMetrics(const MetricsAddress &address, MainModule &state,
                                            ScoringComponentFactory &factory);
