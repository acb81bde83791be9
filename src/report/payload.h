#pragma once

#include <string>

#include "report/added_members.h"

// Builds the one-line JSON body of a report: the five given values, six fixed members,
// and what the script added (none by default), keys in byte order (see
// WriteCompactJson). Values are taken as raw bytes (no NUL) in whatever code page the
// installer uses; nothing is validated or converted.
std::string BuildReportPayload(const std::string& eventName, const std::string& eventId,
                               const std::string& appVersion, const std::string& channel,
                               const std::string& environment, const AddedMembers& added = {});
