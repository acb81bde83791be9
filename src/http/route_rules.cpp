#include "http/route_rules.h"

namespace {

// WinINet's codes, spelled out so that this file needs no Windows header.
constexpr uint32_t kNameNotResolved = 12007;
constexpr uint32_t kCannotConnect = 12029;
constexpr uint32_t kConnectionAborted = 12030;
constexpr uint32_t kConnectionReset = 12031;
constexpr uint32_t kInvalidServerResponse = 12152;
constexpr uint32_t kProxyAuthenticationRequired = 407;

}  // namespace

bool FallsBackToDirect(uint32_t sendError, uint32_t status) {
  if (sendError == 0) return status == kProxyAuthenticationRequired;
  return sendError == kNameNotResolved || sendError == kCannotConnect || sendError == kConnectionReset;
}

bool IsResentOnNewConnection(uint32_t sendError) {
  return sendError == kConnectionAborted || sendError == kConnectionReset || sendError == kInvalidServerResponse;
}
