#include "text/url_encoding.h"

bool UrlAuthorityIsAscii(std::string_view url) {
  const std::size_t scheme = url.find("://");
  const std::size_t begin = scheme == std::string_view::npos ? 0 : scheme + 3;
  const std::size_t end = url.find_first_of("/?#", begin);
  for (const char byte : url.substr(begin, end == std::string_view::npos ? end : end - begin))
    if (static_cast<unsigned char>(byte) >= 0x80) return false;
  return true;
}

std::string PercentEncodeNonAscii(std::string_view url) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (const char byte : url) {
    const auto value = static_cast<unsigned char>(byte);
    if (value < 0x80) {
      out += byte;
    } else {
      out += '%';
      out += kHex[value >> 4];
      out += kHex[value & 0xF];
    }
  }
  return out;
}
