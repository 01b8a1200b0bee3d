#pragma once

#include <cstddef>

// What one HTTP log port takes from its clients. A game server posts a second or so of its
// log at a time over one kept-alive connection, far below every limit here; the limits are
// for clients that are not game servers.
struct HttpLimits
{
    std::size_t maxBodyBytes = 4u << 20;          // a longer body is answered 413 unread
    std::size_t maxBodyBytesInFlight = 64u << 20; // all bodies being read at once; past it 503
    std::size_t connectionMemory = 64u << 10;     // request line and headers; past it 414 or 431
    unsigned idleTimeoutSeconds = 30;       // a connection that sends nothing for this long goes
    unsigned maxConnections = 256;          // at once, on one port
    unsigned maxConnectionsPerAddress = 32; // at once, from one client address
};
