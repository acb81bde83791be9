#include "text/word_list.h"

std::string_view TakeWord(std::string_view& list) {
  const std::size_t end = list.find(' ');
  const std::string_view word = list.substr(0, end);
  list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
  return word;
}

bool IsListedWord(std::string_view word, std::string_view list) {
  while (!list.empty()) {
    if (TakeWord(list) == word) return true;
  }
  return false;
}
