// Runs a program as its debugger and writes every string it passes to
// OutputDebugStringA or OutputDebugStringW into a file, so that tests read the trace
// of a Unicode plug-in too (Wine's debugstr channel shows only the ANSI calls).
//
//   debug_capture.exe <output file> <program> [arguments...]
//
// Each string becomes one record: 'A' or 'W' (the event's encoding; Windows and Wine
// hand a debugger using WaitForDebugEvent the ANSI form), the byte count as four
// little-endian bytes, then the bytes without the terminating NUL. The exit code is
// the program's; an exception the program leaves unhandled is reported on standard
// error with the word "Unhandled", as Wine reports it without a debugger.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring QuoteArgument(const wchar_t* argument) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t* c = argument; *c; ++c) {
    if (*c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are escaped, and the quote itself.
    quoted.append(*c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += *c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

void WriteRecord(HANDLE file, char encoding, const std::vector<char>& bytes) {
  const DWORD size = static_cast<DWORD>(bytes.size());
  const unsigned char header[5] = {static_cast<unsigned char>(encoding),
                                   static_cast<unsigned char>(size), static_cast<unsigned char>(size >> 8),
                                   static_cast<unsigned char>(size >> 16), static_cast<unsigned char>(size >> 24)};
  DWORD written = 0;
  WriteFile(file, header, sizeof header, &written, nullptr);
  if (size) WriteFile(file, bytes.data(), size, &written, nullptr);
}

// The string as the event describes it, without its terminator.
std::vector<char> ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  const std::size_t unit = info.fUnicode ? sizeof(wchar_t) : 1;
  std::vector<char> bytes(static_cast<std::size_t>(info.nDebugStringLength) * unit);
  SIZE_T read = 0;
  if (bytes.empty() || !ReadProcessMemory(process, info.lpDebugStringData, bytes.data(), bytes.size(), &read)) {
    return {};
  }
  bytes.resize(read - read % unit);
  while (!bytes.empty() && std::all_of(bytes.end() - unit, bytes.end(), [](char c) { return c == 0; })) {
    bytes.resize(bytes.size() - unit);
  }
  return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fputs("usage: debug_capture <output file> <program> [arguments...]\n", stderr);
    return 2;
  }
  const HANDLE output = CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "debug_capture: cannot create the output file (error %lu)\n", GetLastError());
    return 2;
  }
  std::wstring commandLine = QuoteArgument(argv[2]);
  for (int i = 3; i < argc; ++i) commandLine += L" " + QuoteArgument(argv[i]);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                      nullptr, &startup, &process)) {
    std::fprintf(stderr, "debug_capture: cannot start the program (error %lu)\n", GetLastError());
    CloseHandle(output);
    return 2;
  }

  DWORD exitCode = 1;
  for (bool running = true; running;) {
    DEBUG_EVENT event;
    if (!WaitForDebugEvent(&event, INFINITE)) break;
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case OUTPUT_DEBUG_STRING_EVENT:
        WriteRecord(output, event.u.DebugString.fUnicode ? 'W' : 'A',
                    ReadDebugString(process.hProcess, event.u.DebugString));
        break;
      case EXCEPTION_DEBUG_EVENT: {
        const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
        // The loader's breakpoint is the debugger's to take; everything else is the
        // program's to handle.
        if (record.ExceptionCode != EXCEPTION_BREAKPOINT) status = DBG_EXCEPTION_NOT_HANDLED;
        if (!event.u.Exception.dwFirstChance) {
          std::fprintf(stderr, "debug_capture: Unhandled exception 0x%08lx at address %p\n",
                       record.ExceptionCode, record.ExceptionAddress);
        }
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        exitCode = event.u.ExitProcess.dwExitCode;
        running = false;
        break;
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(output);
  return static_cast<int>(exitCode);
}
