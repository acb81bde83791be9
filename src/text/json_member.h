#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Reads one member of a JSON answer without building a document: enough to tell what a
// vendor's client would make of a short answer body. Pure, allocates nothing.

enum class JsonShape {
  Invalid,  // not one well-formed JSON value (cut short, trailing bytes, nesting over 64)
  Object,   // one JSON object
  Other,    // one JSON value of another kind
};

struct TopLevelInteger {
  JsonShape shape = JsonShape::Invalid;
  // The value of the object's member `name` when it is written as a plain integer (no
  // fraction or exponent, at most 18 digits); the last one when the name repeats, as
  // JavaScript's JSON.parse keeps. Empty when absent, nested deeper, of another type,
  // or when the text is not an object.
  std::optional<std::int64_t> value;
};

// Scans `json` to its end, checking it against JSON's grammar; never reads outside it.
// Member names are compared as written: one spelled with escapes never matches.
TopLevelInteger ReadTopLevelInteger(std::string_view json, std::string_view name);
