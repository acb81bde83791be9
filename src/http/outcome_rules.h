#pragma once

#include <cstdint>

// Why a report's latest attempt ended as it did, in one word and a number, as NSGetError
// tells the script and the trace tells a support engineer. Pure: native tests reach it.

enum class OutcomeWord {
  None,     // no report has ended yet
  Ok,       // a 2xx status
  Http,     // any other status, from the endpoint or the proxy
  Url,      // the URL cannot be used
  Dns,      // the name was not resolved
  Connect,  // the connection was refused, reset or closed before an answer
  Timeout,  // the send limit passed (WinINet's own, or 0 for the plug-in's)
  Tls,      // the TLS handshake or a certificate failed
  Proxy,    // the proxy had the request and then failed: no direct attempt was left
  Off,      // reports are turned off on this machine
  Stopped,  // the command came after NSWaitDone
  Other,    // anything else
};

struct Outcome {
  OutcomeWord word = OutcomeWord::None;
  uint32_t code = 0;  // the status, the WinINet or Windows error code, or 0
};

// The word as the script sees it: "ok", "http", "url", ….
const char* OutcomeWordText(OutcomeWord word);

// What one attempt came to: its status (0 when none came), the error it ended with (0 for
// none; 10060 when the plug-in's own send limit passed) and whether its last try went
// through a proxy. A status always wins over the error of a read that came after it.
Outcome DescribeAttempt(uint32_t status, uint32_t error, bool viaProxy);
