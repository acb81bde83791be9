#include "text/letters.h"

#include <cwctype>

char32_t NextCharacter(std::string_view text, std::size_t& at) {
  const auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at++);
  const int following = lead < 0x80 ? 0 : lead < 0xC2 ? -1 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF5 ? 3 : -1;
  if (following <= 0) return following == 0 ? lead : 0xFFFD;
  char32_t c = lead & (0x3F >> following);
  for (int i = 0; i < following; ++i) {
    if (at >= text.size() || (byte(at) & 0xC0) != 0x80) return 0xFFFD;
    c = (c << 6) | (byte(at++) & 0x3F);
  }
  return c;
}

bool IsLetter(char32_t c) {
  if (c < 0x80) return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
  return c <= 0xFFFF && std::iswalpha(static_cast<wint_t>(c)) != 0;
}
