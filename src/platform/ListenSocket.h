#pragma once

#include "Result.h"

// A TCP socket listening on the port on every IPv4 address, non-blocking, for a server
// library to take over. Address reuse lets a restarted program listen at once although
// connections of the previous run linger; a port another socket listens on still fails with
// "Address in use".
Result<int> openTcpListener(quint16 port);
