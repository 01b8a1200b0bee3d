#include "WindowLayout.h"

#include "platform/RoundHalfEven.h"

ClientSplit splitClientArea(double clientHeightTwips)
{
    const qint64 q = qint64(roundHalfEven(clientHeightTwips)) / 4;
    return {q, qint64(clientHeightTwips) - q};
}
