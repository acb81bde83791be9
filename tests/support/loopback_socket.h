#pragma once

#include <winsock2.h>

// A TCP socket bound to 127.0.0.1 on a free port, which it writes to `port`. Listening,
// it takes connections; not listening, the port refuses them. The caller has started
// Winsock and closes the socket.
SOCKET BindLoopbackSocket(bool listening, unsigned short& port);
