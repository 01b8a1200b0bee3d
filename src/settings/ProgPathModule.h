#pragma once

#include "platform/ClassRegistry.h"
#include "platform/Result.h"
#include "state/MainModule.h"

#include <QString>

// The program folder is where the scoring component's library is installed: the folder of the
// library path registered for ScoreProgId.

// $XDG_DATA_HOME/Varnock_UDP, the folder used when the registration gives none. Its parent
// is created (mode 0700) when missing, as the XDG rules ask; the folder itself is start-up's.
QString defaultAppPath();

// Sets state.ScoreClsid and state.AppPath from the class registration. A missing, unreadable
// or over-long registration, or a registered path without ScoreDll in it, gives
// state.DefaultAppPath. Fails only when the registered path is the file name alone.
Status LocateAppPath(MainModule &state, const ClassRegistry &registry);
