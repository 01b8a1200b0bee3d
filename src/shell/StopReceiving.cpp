#include "StopReceiving.h"

#include "platform/UdpSocketArray.h"

void stopReceiving(UdpSocketArray &sockets)
{
    for (const int index : sockets.indexes()) {
        if (UdpSocketElement *element = sockets.element(index))
            element->Close();
    }
}
