#pragma once

#include <cstdint>

// How a request that failed on its way is sent again within the same send limit. Pure, so
// that native tests reach them; the HTTP client only runs them.

// Whether a request sent through the system's proxy goes once more, directly: when the
// proxy never took it (it cannot be resolved or reached, refuses or resets the connection)
// or wants credentials that the system does not hold (407). Any other answer, the proxy's
// own 403 or 502 included, is the request's.
bool FallsBackToDirect(uint32_t sendError, uint32_t status);

// Whether a request that got no answer at all is sent once more at once on a new
// connection: a kept-alive connection that the server or a load balancer dropped meanwhile
// shows up as a reset or a close before any answer. WinINet resends by itself only after
// an orderly close.
bool IsResentOnNewConnection(uint32_t sendError);
