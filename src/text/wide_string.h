#pragma once

#include <string>

// UTF-16 text for the W functions. libstdc++ ships std::wstring's members compiled, as
// one 35 KB object that a static link takes whole; with traits of its own the type is
// built from the headers, and the DLL holds only the members it uses.
struct WideCharTraits : std::char_traits<wchar_t> {};
using WideString = std::basic_string<wchar_t, WideCharTraits>;
