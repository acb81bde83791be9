#pragma once

#include <json/value.h>

#include <string>

// Writes `value` as compact JSON on one line, without a line end: no whitespace,
// object members in ascending unsigned byte order of their keys, and strings byte for
// byte except for the quote, the backslash and bytes 0x01 to 0x1F, which are escaped
// (\b \f \n \r \t, otherwise \u00XX in upper-case hex). The slash and bytes from 0x7F
// up pass unchanged: texts are the ANSI build's installer bytes, or UTF-8 in the Unicode
// builds, and are never re-decoded.
std::string WriteCompactJson(const Json::Value& value);
