#pragma once

// What a trace line may show of a text the script passed: any program of the user's session
// can read the debugger output, so secrets never reach it. Pure: native tests reach it.

#include <string>
#include <string_view>

enum class Traced {
  Whole,       // a text that carries no secret: an event text, a field's key, a time limit
  AsUrl,       // where a report goes, without what may unlock it (UrlForTrace)
  LengthOnly,  // a field's value or a key: the trace line shows "..." and the length
};

// The text as a trace line shows it.
std::string TracedText(std::string_view text, Traced traced);

// The URL without its user name and password, every query value and the fragment shown as
// "..." ("?api_key=...&v=..."; a parameter without "=" is a value), the scheme, host, port,
// path and query names as written. The user information ends at the last "@" before the
// first "/", "?" or "#". Where that may be wrong, the trace shows less: "..." for a URL
// that does not start with "scheme://", and "scheme://..." when an "@" past that point
// has a ":" before it (a password holding "/", "?" or "#").
std::string UrlForTrace(std::string_view url);
