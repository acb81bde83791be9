#include "report/system_context.h"

#include <windows.h>

#include "common/unique_handle.h"
#include "text/format_text.h"

namespace {

// GetVersionEx answers what the installer's manifest declares; the kernel does not.
std::string KernelVersion() {
  using RtlGetVersionProc = LONG(WINAPI*)(OSVERSIONINFOW*);
  const auto rtlGetVersion = reinterpret_cast<RtlGetVersionProc>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (!rtlGetVersion || rtlGetVersion(&info) != 0) return {};
  char text[48];
  FormatText(text, sizeof text, "%lu.%lu.%lu", info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
  return text;
}

// IsWow64Process2 (Windows 10 1511 and later) also sees an x64 or arm64 machine from an
// emulated process; before it, GetNativeSystemInfo knows the machines of its time.
std::uint16_t NativeMachine() {
  using IsWow64Process2Proc = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  const auto isWow64Process2 = reinterpret_cast<IsWow64Process2Proc>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process2")));
  USHORT process = 0, native = 0;
  if (isWow64Process2 && isWow64Process2(GetCurrentProcess(), &process, &native)) return native;
  SYSTEM_INFO info;
  GetNativeSystemInfo(&info);
  switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_INTEL: return IMAGE_FILE_MACHINE_I386;
    case PROCESSOR_ARCHITECTURE_AMD64: return IMAGE_FILE_MACHINE_AMD64;
    case 12: return 0xAA64;  // PROCESSOR_ARCHITECTURE_ARM64, IMAGE_FILE_MACHINE_ARM64
    default: return 0;
  }
}

std::string Utf8(const wchar_t* text) {
  char utf8[LOCALE_NAME_MAX_LENGTH * 3];
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  return length > 0 ? std::string(utf8, length - 1) : std::string();
}

// The first of the user's preferred UI languages, by name: a language without an LCID
// has one too. The list ends in an empty name; a longer one than fits gives way to the
// LCID's name.
std::string UiLanguage() {
  wchar_t names[LOCALE_NAME_MAX_LENGTH * 4];
  ULONG count = 0;
  ULONG size = ARRAYSIZE(names);
  if (GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, names, &size) && count > 0 && names[0]) {
    return Utf8(names);
  }
  return LanguageTag(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT));
}

// Whether the installer runs with an administrator's full rights; false where Windows cannot
// tell (before Vista).
bool TokenElevated() {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return false;
  const UniqueHandle token(opened);
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
         elevation.TokenIsElevated;
}

}  // namespace

std::string LanguageTag(unsigned long lcid) {
  wchar_t name[LOCALE_NAME_MAX_LENGTH];
  if (lcid == 0 || !LCIDToLocaleName(lcid, name, LOCALE_NAME_MAX_LENGTH, 0)) return {};
  return Utf8(name);
}

ReportContext ReadSystemContext() {
  ReportContext context;
  context.osVersion = KernelVersion();
  context.osArch = MachineArchName(NativeMachine());
  context.processArch = MachineArchName(sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
  context.uiLanguage = UiLanguage();
  context.elevated = TokenElevated();
  return context;
}
