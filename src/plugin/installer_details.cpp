#include "plugin/installer_details.h"

#include <commctrl.h>

#include "text/utf8.h"

namespace {

constexpr int kDetailsListId = 1016;  // NSIS's details list on the install page
constexpr int kRowChars = 1024;       // NSIS's longest string

// A host text as everything past the stack boundary holds it.
std::string FromHost(const TCHAR* text, int length) {
#ifdef UNICODE
  return Utf16ToUtf8(reinterpret_cast<const char16_t*>(text), static_cast<std::size_t>(length));
#else
  return std::string(text, length);
#endif
}

ScrubNames g_names;
bool g_namesRead = false;

}  // namespace

const ScrubNames& DetailScrubNames() {
  if (!g_namesRead) {
    ScrubNames& names = g_names;
    TCHAR text[MAX_PATH + 1];
    DWORD size = ARRAYSIZE(text);
    DWORD length = GetEnvironmentVariable(TEXT("USERPROFILE"), text, size);
    if (length < size) names.profile = FromHost(text, static_cast<int>(length));
    if (GetUserName(text, &size)) names.user = FromHost(text, static_cast<int>(size) - 1);  // size counts the NUL
    size = ARRAYSIZE(text);
    if (GetComputerName(text, &size)) names.computer = FromHost(text, static_cast<int>(size));
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
    LVITEM item = {};
    item.pszText = text;
    item.cchTextMax = kRowChars;
    const int length = static_cast<int>(SendMessage(list, LVM_GETITEMTEXT, row, reinterpret_cast<LPARAM>(&item)));
    AppendScrubbed(lines, FromHost(text, length), DetailScrubNames());
    lines += '\n';
  }
  return true;
}
