#include "report/detail_scrub.h"

#include "text/ascii_case.h"

namespace {

bool IsWordByte(char c) { return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_'; }

struct Hidden {
  std::string_view name;
  const char* replacement;
};

// Whether `name` stands at `at` in `line` as a whole word.
bool StandsAt(std::string_view line, std::size_t at, std::string_view name) {
  if (name.empty() || line.size() - at < name.size()) return false;
  if (!EqualsIgnoringAsciiCase(line.substr(at, name.size()), name)) return false;
  const std::size_t end = at + name.size();
  return (at == 0 || !IsWordByte(line[at - 1])) && (end == line.size() || !IsWordByte(line[end]));
}

}  // namespace

void AppendScrubbed(std::string& out, std::string_view line, const ScrubNames& names) {
  // A profile folder's path holds a colon, which no name does; of the names, the longer goes
  // first, so that one that holds the other is replaced whole.
  const Hidden user{names.user, "%USERNAME%"};
  const Hidden computer{names.computer, "%COMPUTERNAME%"};
  const bool userFirst = names.user.size() >= names.computer.size();
  const Hidden hidden[] = {{names.profile, "%USERPROFILE%"}, userFirst ? user : computer, userFirst ? computer : user};
  for (std::size_t at = 0; at < line.size();) {
    const Hidden* found = nullptr;
    for (const Hidden& h : hidden) {
      if (StandsAt(line, at, h.name)) {
        found = &h;
        break;
      }
    }
    if (found) {
      out += found->replacement;
      at += found->name.size();
    } else {
      out += line[at++];
    }
  }
}
