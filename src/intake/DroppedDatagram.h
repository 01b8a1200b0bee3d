#pragma once

#include "platform/Result.h"

#include <QString>

// The status line after a datagram could not be handed over, as one sentence: what failed,
// and which datagram was dropped because of it.
QString droppedDatagramText(const ErrorInfo &error, qint64 bytes, const QString &portText,
                            int connection);
