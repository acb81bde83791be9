#include "report/system_context.h"

#include <windows.h>

#include "report/event_id.h"
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

// IsWow64Process2 (Windows 10 1709 and later) also sees an x64 or arm64 machine from an
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

std::string UiLanguage() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH];
  if (!LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0)) {
    return {};
  }
  char text[LOCALE_NAME_MAX_LENGTH * 3];
  const int length = WideCharToMultiByte(CP_UTF8, 0, name, -1, text, sizeof text, nullptr, nullptr);
  return length > 0 ? std::string(text, length - 1) : std::string();
}

}  // namespace

ReportContext ReadSystemContext() {
  ReportContext context;
  char sessionId[64] = {};
  MakeGuidText(sessionId);
  context.sessionId = sessionId;
  context.osVersion = KernelVersion();
  context.osArch = MachineArchName(NativeMachine());
  context.processArch = MachineArchName(sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
  context.uiLanguage = UiLanguage();
  return context;
}
