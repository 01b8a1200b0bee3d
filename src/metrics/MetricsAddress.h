#pragma once

#include "platform/Result.h"

#include <QHostAddress>
#include <QString>

// Where the metrics and health pages listen: "PORT" (on 127.0.0.1), "ADDRESS:PORT" or
// "[IPv6 ADDRESS]:PORT". Port 0 takes a free one.
struct MetricsAddress
{
    QHostAddress host;
    quint16 port = 0;
};

Result<MetricsAddress> parseMetricsAddress(const QString &text);
