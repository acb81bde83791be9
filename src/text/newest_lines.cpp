#include "text/newest_lines.h"

#include "text/letters.h"
#include "text/utf8.h"

std::size_t FittingLength(std::string_view text, std::size_t limit, bool inCharacters) {
  if (!inCharacters) return text.size() <= limit ? text.size() : Utf8CutLength(text, limit);
  std::size_t at = 0;
  for (std::size_t count = 0; count < limit && at < text.size(); ++count) NextCharacter(text, at);
  return at;
}

std::string_view NewestLinesWithin(std::string_view lines, std::size_t limit, bool inCharacters) {
  for (std::size_t start = 0;;) {
    const std::string_view rest = lines.substr(start);
    const std::size_t fits = FittingLength(rest, limit, inCharacters);
    const std::size_t next = rest.find('\n');
    if (fits == rest.size() || next == std::string_view::npos) return rest.substr(0, fits);
    start += next + 1;
  }
}
