#pragma once

#include <string_view>

// Whether `url` goes to one of the hosts where a vendor's cloud takes events: PostHog's,
// Amplitude's, Mixpanel's, Segment's and Google Analytics'. They take only their own bodies,
// and answer Kestrel's document with a 400 or drop it. The host is compared in any letter
// case, without user information, port or a final dot; a self-hosted address never matches.
bool IsVendorIngestionUrl(std::string_view url);
