#pragma once

#include <QtGlobal>

// How the status line and the connection list share the client area: the status line the
// top quarter, the list the rest, both the full width. All values in twips.
struct ClientSplit
{
    qint64 labelHeight; // also the list's top
    qint64 listHeight;
};

ClientSplit splitClientArea(double clientHeightTwips);
