#pragma once

#include <cstddef>
#include <string_view>

// Bounding a text of lines (joined by '\n', oldest first) to what one value may hold.

// How many bytes of `text` its first `limit` units take, counted in bytes or, `inCharacters`,
// in characters as NextCharacter reads them: all of them when it fits, whatever its bytes (an
// ANSI text's included), else a prefix cut at a character boundary.
std::size_t FittingLength(std::string_view text, std::size_t limit, bool inCharacters = false);

// The newest whole lines of `lines` that fit in `limit` (counted as FittingLength counts):
// older lines go first. When the newest line alone
// is over the limit, its beginning, cut at a character boundary.
std::string_view NewestLinesWithin(std::string_view lines, std::size_t limit, bool inCharacters = false);
