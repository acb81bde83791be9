#include "text/word_list.h"

bool IsListedWord(std::string_view word, std::string_view list) {
  while (!list.empty()) {
    const std::size_t end = list.find(' ');
    if (list.substr(0, end) == word) return true;
    list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
  }
  return false;
}
