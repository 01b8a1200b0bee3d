#pragma once

#include <QStringList>

// The whole run of varnock_stats: options, databases, the server, until a stop signal.
// Returns the exit status; every failure is a message on standard error.
int runStats(int argc, char *argv[]);
