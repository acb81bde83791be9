#pragma once

#include <windows.h>

#include <string>

#include "text/wide_string.h"

// Bytes in `codePage` to UTF-16. Null, a count of 0 or less, or input the system refuses
// give the empty text; malformed sequences become the system's replacement character.
WideString MultiByteToWide(const char* bytes, int count, UINT codePage);

// UTF-8 bytes to UTF-16, as above.
inline WideString Utf8ToWide(const char* bytes, int count) {
  return MultiByteToWide(bytes, count, CP_UTF8);
}

// UTF-16 text to bytes in `codePage` (CP_UTF8, or CP_ACP for the system ANSI code page).
// Characters the code page lacks become its default character; failure gives "".
std::string WideToMultiByte(const wchar_t* text, int count, UINT codePage);

// Bytes in the system ANSI code page, the ANSI build's script texts, to UTF-8.
std::string AnsiToUtf8(const std::string& text);
