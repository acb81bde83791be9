#pragma once

#include <cstddef>
#include <string_view>

// Letters of any language, for names that a vendor allows in any of them.

// The character of UTF-8 `text` at `at`, which moves past it; U+FFFD for bytes that start no
// whole sequence (one byte at a time).
char32_t NextCharacter(std::string_view text, std::size_t& at);

// Whether `c` is a letter of any language, as the C runtime classifies it: in the DLL,
// Windows' own classification. Beyond the Basic Multilingual Plane, which the runtime's
// 16-bit characters cannot hold, no character counts as one.
bool IsLetter(char32_t c);
