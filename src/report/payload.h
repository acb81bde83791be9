#pragma once

#include <string>

// Builds the one-line JSON body of a report: the five given values, six fixed members,
// keys in byte order (see WriteCompactJson). Values are taken as raw bytes (no NUL)
// in whatever code page the installer uses; nothing is validated or converted.
std::string BuildReportPayload(const std::string& eventName, const std::string& eventId,
                               const std::string& appVersion, const std::string& channel,
                               const std::string& environment);
