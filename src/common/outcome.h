#pragma once

#include <cstdint>

// Why a report's attempt ended as it did, in one word and a number, as NSGetError tells the
// script and the trace tells a support engineer. The rules that make one live in
// http/outcome_rules.h.

enum class OutcomeWord {
  None,     // no report has ended yet
  Ok,       // a 2xx status
  Refused,  // a 2xx status whose body says the vendor did not take the event
  Http,     // any other status, from the endpoint or the proxy
  Url,      // the URL cannot be used
  Invalid,  // the report breaks a vendor's rule, so it was not sent
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
