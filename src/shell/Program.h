#pragma once

#include "metrics/MetricsAddress.h"

#include <QStringList>

#include <optional>

// One run of the program after the command line was read: with a window, or headless for a
// service (asked for with --headless, or when there is no display to show a window on).
struct ProgramOptions
{
    bool headless = false;
    bool http = true; // --no-http: the ports take datagrams only
    QString
        screenshotPath;  // --screenshot=FILE: save a picture of the window after start-up, then end
    QString commandLine; // the remaining arguments joined by blanks, for the three options
    std::optional<MetricsAddress> metrics; // --metrics=ADDRESS: off without it
    QString invalid;                       // why the options cannot be run, empty when they can
};

ProgramOptions readProgramOptions(const QStringList &arguments, bool displayAvailable);
bool displayAvailable();

int runWithWindow(int argc, char *argv[], const ProgramOptions &options);
int runHeadless(int argc, char *argv[], const ProgramOptions &options);
