#include "http/text_conversion.h"

WideString MultiByteToWide(const char* bytes, int count, UINT codePage) {
  if (!bytes || count <= 0) return {};
  const int length = MultiByteToWideChar(codePage, 0, bytes, count, nullptr, 0);
  if (length == 0) return {};
  WideString text(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, bytes, count, text.data(), length);
  return text;
}

std::string WideToMultiByte(const wchar_t* text, int count, UINT codePage) {
  if (!text || count <= 0) return {};
  const int length = WideCharToMultiByte(codePage, 0, text, count, nullptr, 0, nullptr, nullptr);
  if (length == 0) return {};
  std::string bytes(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, 0, text, count, bytes.data(), length, nullptr, nullptr);
  return bytes;
}

std::string AnsiToUtf8(const std::string& text) {
  const WideString wide = MultiByteToWide(text.data(), static_cast<int>(text.size()), CP_ACP);
  return WideToMultiByte(wide.data(), static_cast<int>(wide.size()), CP_UTF8);
}
