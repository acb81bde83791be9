#pragma once

#include <cstdarg>
#include <cstddef>

// snprintf and vsnprintf as C99 has them: the text is cut to `size` bytes and always
// NUL-terminated, and the result is the length of the whole text. On Windows they run
// the C runtime's own formatting: libstdc++ makes mingw's C99 printf the default, which
// would link about 28 KB into the DLL for formats that need none of what it adds.
int FormatText(char* out, std::size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
int FormatTextV(char* out, std::size_t size, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));
