#pragma once

#include <cstdint>

#include "common/outcome.h"

// The rules that turn an attempt's status and error into its outcome. Pure: native tests
// reach them.

// The word as the script sees it: "ok", "http", "url", ….
const char* OutcomeWordText(OutcomeWord word);

// What one attempt came to: its status (0 when none came), the error it ended with (0 for
// none; 10060 when the plug-in's own send limit passed) and whether its last try went
// through a proxy. A status always wins over the error of a read that came after it.
Outcome DescribeAttempt(uint32_t status, uint32_t error, bool viaProxy);

// The certificate failures: described as tls, and never retried, since the same certificate
// comes again. A handshake that failed (12157) is tls too, but may pass on the next attempt.
bool IsCertificateError(uint32_t error);
