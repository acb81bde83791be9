#pragma once

// UTF-16 (as Unicode NSIS hosts keep their stack) to UTF-8, and cutting UTF-8 text to
// a byte limit without splitting a character.

#include <cstddef>
#include <string>
#include <string_view>

// `length` UTF-16 code units to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const char16_t* text, std::size_t length);

// What Utf16ToUtf8Into wrote: the byte count, and whether every character fitted.
struct Utf8Copy {
  std::size_t bytes;
  bool whole;
};

// As Utf16ToUtf8, but into `out`, allocating nothing: the whole characters that fit in `size`
// bytes, no terminator.
Utf8Copy Utf16ToUtf8Into(const char16_t* text, std::size_t length, char* out, std::size_t size);

// The length of the longest prefix of `utf8` that has at most `limit` bytes and ends at
// a character boundary: a multi-byte sequence is kept whole or not at all. With a
// `limit` of utf8.size() or more, an incomplete sequence at the end is dropped.
std::size_t Utf8CutLength(std::string_view utf8, std::size_t limit);
