#pragma once

#include "platform/Result.h"

#include <QHostAddress>
#include <QStringList>

// varnock_stats [--listen ADDR:PORT] [--database CONNECTION_STRING]...
struct StatsOptions
{
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 8080;
    QStringList databases; // none: the program folder's connections file names them
    bool help = false;
};

Result<StatsOptions> parseStatsOptions(const QStringList &arguments);

// "127.0.0.1:8080", "[::1]:8080", "0.0.0.0:80"; nothing when it is none of these.
std::optional<std::pair<QHostAddress, quint16>> parseListen(const QString &text);

QString statsUsage();

// The connection strings of the program folder's connections file, each once, in file
// order; the folder is found as the program finds it (the scoring component's registration).
Result<QStringList> connectionsFileDatabases();
