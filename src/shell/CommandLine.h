#pragma once

#include "platform/Result.h"

#include <QString>

class MainModule;

// The three options "maxcon=", "logout=" and "cfgfile=", found case-insensitively anywhere
// in the command line (also inside another word); a value runs to the next blank.
// Sets CmdLine, MaxCon, RawLogging and CfgFile; a logout= value outside 16 bits or a
// maxcon= value above the highest socket element index (32767) is a failure.
Status applyCommandLine(MainModule &state, const QString &commandLine);
