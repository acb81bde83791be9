#pragma once

// Each vendor's own mapping, one file each; vendor_body.cpp picks one by format.
// Rule checks return the broken rule's name (never a value: it is traced), or null. A
// vendor's SetsProperty names the keys its body sets where the script's fields go.

#include <string>
#include <string_view>

#include "vendors/vendor_event.h"

const char* PostHogBrokenRule(const VendorEvent& event);
std::string PostHogBody(const VendorEvent& event);
bool PostHogTookEvent(std::string_view answer);
bool PostHogSetsProperty(std::string_view key);

const char* AmplitudeBrokenRule(const VendorEvent& event);
std::string AmplitudeBody(const VendorEvent& event);
bool AmplitudeTookEvent(std::string_view answer);

const char* MixpanelBrokenRule(const VendorEvent& event);
std::string MixpanelBody(const VendorEvent& event);
bool MixpanelTookEvent(std::string_view answer);
bool MixpanelSetsProperty(std::string_view key);

const char* SegmentBrokenRule(const VendorEvent& event);
std::string SegmentBody(const VendorEvent& event);
bool SegmentTookEvent(std::string_view answer);

const char* Ga4BrokenRule(const VendorEvent& event);
std::string Ga4Body(const VendorEvent& event);
bool Ga4TookEvent(std::string_view answer);
bool Ga4SetsProperty(std::string_view key);
