#pragma once

#include "platform/Result.h"

#include <QString>

class UdpSocketArray;

// The port a reply asks for: its leading number, rounded to a whole number with a tie going
// to the even one, 0 when the text does not start with a number; a failure (error 6,
// Overflow) when it lies beyond the 32-bit range.
Result<qint32> portFromText(const QString &text);

// Whether a loaded socket element holds the port. Element 0, never bound, reports port 0,
// so port 0 always counts as held.
bool portInUse(const UdpSocketArray &sockets, qint64 port);
