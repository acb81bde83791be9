// Feeds arbitrary UTF-16 text (surrogates alone or in pairs included) through the
// conversion and the cut at the plug-in's limits, and checks what the boundary relies on.
// The raw bytes are also read as a vendor's JSON answer.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/json_member.h"
#include "text/newest_lines.h"
#include "text/url_encoding.h"
#include "text/utf8.h"

namespace {

// A strict UTF-8 check, written apart from the code under test.
bool IsValidUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n;
    char32_t c;
    if (b < 0x80) { ++i; continue; }
    if ((b & 0xE0) == 0xC0) { n = 2; c = b & 0x1F; }
    else if ((b & 0xF0) == 0xE0) { n = 3; c = b & 0x0F; }
    else if ((b & 0xF8) == 0xF0) { n = 4; c = b & 0x07; }
    else return false;
    if (i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      const auto cb = static_cast<unsigned char>(s[i + k]);
      if ((cb & 0xC0) != 0x80) return false;
      c = (c << 6) | (cb & 0x3F);
    }
    const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < minimum[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckJsonAnswer(std::string_view answer) {
  const TopLevelInteger read = ReadTopLevelInteger(answer, "code");
  Check(!read.value || read.shape == JsonShape::Object);
  // JSON's white space around a value changes nothing; a byte after a whole value spoils it.
  const TopLevelInteger spaced = ReadTopLevelInteger(" \n" + std::string(answer) + "\t\r", "code");
  Check(spaced.shape == read.shape && spaced.value == read.value);
  Check(ReadTopLevelInteger(std::string(answer) + "x", "code").shape == JsonShape::Invalid);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckJsonAnswer(std::string_view(reinterpret_cast<const char*>(data), size));
  if (size < 2) return 0;
  // The first two bytes choose the limit (up to 1200 bytes, the plug-in's 511 and 1023
  // among them); the rest is UTF-16 code units.
  const std::size_t limit = (data[0] | (data[1] << 8)) % 1200;
  std::u16string text;
  for (std::size_t i = 2; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));

  const std::string full = Utf16ToUtf8(text.data(), text.size());
  Check(IsValidUtf8(full));
  Check(full.size() <= 3 * text.size());

  const std::size_t cut = Utf8CutLength(full, limit);
  const std::string kept = full.substr(0, cut);
  Check(cut <= limit && cut <= full.size());
  Check(IsValidUtf8(kept));
  // Nothing more would fit: the next whole character crosses the limit.
  if (cut < full.size()) {
    std::size_t next = cut + 1;
    while (next < full.size() && (static_cast<unsigned char>(full[next]) & 0xC0) == 0x80) ++next;
    Check(next > limit);
  }

  // The pop's own copy, which allocates nothing, keeps the same characters.
  std::string into(limit, '\0');
  const Utf8Copy copy = Utf16ToUtf8Into(text.data(), text.size(), into.data(), limit);
  Check(copy.bytes == cut && copy.whole == (cut == full.size()) && into.compare(0, cut, kept) == 0);

  // Details lines: whole lines from a line's start, or the newest line's beginning, within the
  // limit in bytes or characters, and never a character split.
  for (const bool inCharacters : {false, true}) {
    const std::string_view lines = NewestLinesWithin(full, limit, inCharacters);
    const std::size_t start = static_cast<std::size_t>(lines.data() - full.data());
    std::size_t characters = 0;
    for (const char byte : lines) characters += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    Check(start == 0 || full[start - 1] == '\n');
    Check(start + lines.size() == full.size() || lines.find('\n') == std::string_view::npos);
    Check((inCharacters ? characters : lines.size()) <= limit && IsValidUtf8(std::string(lines)));
  }

  const std::string encoded = PercentEncodeNonAscii(full);
  for (const char byte : encoded) Check(static_cast<unsigned char>(byte) < 0x80);
  Check(encoded.size() >= full.size() && encoded.size() <= 3 * full.size());
  return 0;
}
