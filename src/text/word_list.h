#pragma once

#include <string_view>

// Lists of ASCII words written as one text, the words apart by single spaces: the DLL keeps no
// table of pointers for them, nor relocations for those pointers.

// The first word of `list`, taken off it with the space after it.
std::string_view TakeWord(std::string_view& list);

// Whether `word` is one of the words of `list`.
bool IsListedWord(std::string_view word, std::string_view list);
