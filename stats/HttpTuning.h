#pragma once

#include <cstddef>

// How much the pages' HTTP server takes on at once, and from whom. A browser opens a few
// kept-alive connections; the limits are for everything else.
struct HttpTuning
{
    unsigned threads = 8;           // requests answered at once: one slow query holds one
    unsigned maxConnections = 2000; // at once in all; lowered to fit the file limit
    unsigned maxConnectionsPerAddress = 64;
    unsigned idleTimeoutSeconds = 10;     // a connection that sends nothing for this long goes
    std::size_t connectionMemory = 16384; // request line and headers: past it 414 or 431
};
