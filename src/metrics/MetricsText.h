#pragma once

#include "MetricsSnapshot.h"

#include <QByteArray>

// The snapshot in the Prometheus text exposition format, version 0.0.4.
QByteArray metricsText(const MetricsSnapshot &snapshot);

// The health page: 200 when the program listens, its component is loaded and every database
// it writes to answers, 503 otherwise; the body says which, as JSON.
struct HealthReport
{
    int status = 200;
    QByteArray body;
};
HealthReport healthOf(const MetricsSnapshot &snapshot);
