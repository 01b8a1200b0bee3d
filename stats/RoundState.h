#pragma once

#include "RoundSides.h"

#include <QByteArray>
#include <QHash>
#include <QList>

// What the writer knows of an open game's rounds: its sides so far and what happened since
// its last round. Stored with every flush (Stats_Rounds), so a restart in the middle of a game
// goes on as if it had not stopped.
struct RoundState
{
    SideState sides;
    RoundEvidence round;
};

QByteArray roundStateText(const RoundState &state);
RoundState roundStateFrom(const QByteArray &text);
