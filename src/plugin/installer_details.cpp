#include "plugin/installer_details.h"

#include <commctrl.h>

#include <cstring>

#include "text/utf8.h"

namespace {

constexpr int kDetailsListId = 1016;  // NSIS's details list on the install page
constexpr int kRowChars = 1024;       // NSIS's longest string
constexpr int kNameChars = MAX_PATH + 1;

// A host text as everything past the stack boundary holds it, written into `out` (3 bytes for
// each UTF-16 unit in the Unicode builds, 1 in the ANSI one).
std::string_view FromHost(const TCHAR* text, int length, char* out) {
#ifdef UNICODE
  const auto units = static_cast<std::size_t>(length);
  return {out, Utf16ToUtf8Into(reinterpret_cast<const char16_t*>(text), units, out, units * 3).bytes};
#else
  std::memcpy(out, text, static_cast<std::size_t>(length));
  return {out, static_cast<std::size_t>(length)};
#endif
}

// The names, read once into fixed memory: nothing to build before the first command.
char g_profile[kNameChars * 3];
char g_user[kNameChars * 3];
char g_computer[kNameChars * 3];
ScrubNames g_names;
bool g_namesRead = false;

}  // namespace

const ScrubNames& DetailScrubNames() {
  if (!g_namesRead) {
    TCHAR text[kNameChars];
    DWORD size = kNameChars;
    const DWORD length = GetEnvironmentVariable(TEXT("USERPROFILE"), text, size);
    if (length < size) g_names.profile = FromHost(text, static_cast<int>(length), g_profile);
    if (GetUserName(text, &size)) g_names.user = FromHost(text, static_cast<int>(size) - 1, g_user);  // size counts the NUL
    size = kNameChars;
    if (GetComputerName(text, &size)) g_names.computer = FromHost(text, static_cast<int>(size), g_computer);
    g_namesRead = true;
  }
  return g_names;
}

bool AppendDetailsListRows(HWND parent, unsigned count, std::string& lines) {
  // The page `parent` shows; on another than the install page, a control of that id that is no
  // list view answers 0 to list-view messages, which no other common control takes.
  const HWND page = parent ? FindWindowEx(parent, nullptr, TEXT("#32770"), nullptr) : nullptr;
  const HWND list = page ? GetDlgItem(page, kDetailsListId) : nullptr;
  const int rows = list ? static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
  if (rows <= 0) return false;
  for (int row = rows > static_cast<int>(count) ? rows - static_cast<int>(count) : 0; row < rows; ++row) {
    TCHAR text[kRowChars];
    char utf8[kRowChars * 3];
    LVITEM item = {};
    item.pszText = text;
    item.cchTextMax = kRowChars;
    const int length = static_cast<int>(SendMessage(list, LVM_GETITEMTEXT, row, reinterpret_cast<LPARAM>(&item)));
    AppendScrubbed(lines, FromHost(text, length, utf8), DetailScrubNames());
    lines += '\n';
  }
  return true;
}
