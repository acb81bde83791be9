#include "text/utf8.h"

#include <cstring>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Writes `c` as UTF-8 into `out`; returns the byte count.
std::size_t EncodeUtf8(char32_t c, char (&out)[4]) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

// Hands each character of the UTF-16 text to `emit` as UTF-8 bytes, an unpaired surrogate as
// U+FFFD, until `emit` returns false.
template <typename Emit>
void ForEachUtf8Character(const char16_t* text, std::size_t length, Emit emit) {
  for (std::size_t i = 0; i < length; ++i) {
    const char16_t unit = text[i];
    char32_t c = unit;
    if (IsHighSurrogate(unit) && i + 1 < length && IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      c = kReplacement;
    }
    char bytes[4];
    if (!emit(bytes, EncodeUtf8(c, bytes))) return;
  }
}

// Bytes of the sequence that `lead` starts; 0 for a continuation or invalid byte.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

std::string Utf16ToUtf8(const char16_t* text, std::size_t length) {
  // At most 3 bytes for each unit: a pair of surrogates makes 4 from 2.
  std::string out(length * 3, '\0');
  out.resize(Utf16ToUtf8Into(text, length, out.data(), out.size()).bytes);
  return out;
}

Utf8Copy Utf16ToUtf8Into(const char16_t* text, std::size_t length, char* out, std::size_t size) {
  Utf8Copy copy{0, true};
  ForEachUtf8Character(text, length, [&](const char* bytes, std::size_t count) {
    if (count > size - copy.bytes) return copy.whole = false;
    std::memcpy(out + copy.bytes, bytes, count);
    copy.bytes += count;
    return true;
  });
  return copy;
}

std::size_t Utf8CutLength(std::string_view utf8, std::size_t limit) {
  if (limit > utf8.size()) limit = utf8.size();
  // Find the lead byte of the last character that starts before the limit.
  std::size_t lead = limit;
  while (lead > 0 && limit - lead < 4 && (static_cast<unsigned char>(utf8[lead - 1]) & 0xC0) == 0x80)
    --lead;
  if (lead == 0) return limit;
  --lead;
  const std::size_t needed = SequenceLength(static_cast<unsigned char>(utf8[lead]));
  return needed == 0 || lead + needed <= limit ? limit : lead;
}
