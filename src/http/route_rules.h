#pragma once

#include <cstdint>
#include <string_view>

// Which way a request goes and when it is sent again within the same send limit. Pure, so
// that native tests reach them; the HTTP client only runs them.

// What one attempt learnt of its route, from WinINet's status callback.
struct RouteFacts {
  bool viaProxy = false;     // the system's proxy was to carry it (not bypassed)
  bool requestSent = false;  // the request was written to the connection
  uint32_t sendError = 0;    // 0 when an answer came
  uint32_t status = 0;       // the answer's status
};

// Whether a request that went to the system's proxy goes once more, directly: only when
// the proxy never had it (it could not be resolved or reached in time, or refused or
// dropped the connection before the request was written), or asked for credentials that
// the system does not hold (407). Once the proxy had the request, its answer or the lack
// of one stands: through a tunnel the endpoint may already have it.
bool FallsBackToDirect(const RouteFacts& facts);

// How long a request may wait for its connection to the proxy: half the send limit, so
// that the direct route keeps the other half.
uint32_t ProxyConnectLimitMs(uint32_t sendLimitMs);

// Whether `host` is on a proxy bypass list as the system's internet settings write it:
// entries split by ';' or white space, "<local>" for any name without a dot, '*' for any
// run of characters, letter case ignored.
bool IsBypassed(std::string_view host, std::string_view bypassList);

// Whether a request that got no answer at all is sent once more at once on a new
// connection: a kept-alive connection that the server or a load balancer dropped meanwhile
// shows up as a reset or a close before any answer. WinINet resends by itself only after
// an orderly close.
bool IsResentOnNewConnection(uint32_t sendError);
