#pragma once

#include <QString>

// Notices a scoring component that takes long for one datagram: the program's one thread
// waits meanwhile, and with it every port and the window. It speaks once when a spell of slow
// hand-overs begins; a quick hand-over ends the spell.
class SlowComponentWatch
{
public:
    // Far above the microseconds a hand-over takes, and about where a user sees the window
    // stand still.
    static constexpr qint64 ThresholdMs = 200;

    // The notice when this hand-over begins a slow spell; empty otherwise.
    QString handedOver(qint64 elapsedMs, qint32 port);

private:
    bool m_slow = false;
};
