// Measures what Kestrel.dll costs an installer beyond its commands' own time (which
// command_cost.nsi measures in a real installer), with a host of its own that calls
// the exports as NSIS does, against the report URL given on the command line:
//   - NSWaitDone -1 after the last of 50 queued reports;
//   - the process's private bytes and threads after 20 and after 2,000 reports;
//   - the floor: one bare WinINet POST of a report-sized body with fresh handles.
// Prints figures; asserts nothing. usage: plugin_bench <Kestrel.dll> <url>
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct StackEntry {
  StackEntry* next;
  TCHAR text[1];
};

using Command = void(__cdecl*)(HWND, int, TCHAR*, StackEntry**, void*);

constexpr int kStringSize = 1024;

// One fresh copy of the plug-in with a stack of its own: every copy starts a new worker.
class Plugin {
 public:
  Plugin(const std::string& dll, int copy) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    m_path = std::string(folder) + "KestrelBench-" + std::to_string(GetCurrentProcessId()) + "-" +
             std::to_string(copy) + ".dll";
    CopyFileA(dll.c_str(), m_path.c_str(), FALSE);
    m_module = LoadLibraryA(m_path.c_str());
  }
  ~Plugin() {
    Call("NSWaitDone", {TEXT("-1")});
    FreeLibrary(m_module);
    DeleteFileA(m_path.c_str());
  }
  bool Loaded() const { return m_module != nullptr; }

  // Calls `name` with `arguments` (first argument first) and drops what it pushed.
  void Call(const char* name, std::initializer_list<const TCHAR*> arguments) {
    for (auto it = std::rbegin(arguments); it != std::rend(arguments); ++it) Push(*it);
    const auto command = reinterpret_cast<Command>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
    command(nullptr, kStringSize, nullptr, &m_top, nullptr);
    while (m_top) {
      StackEntry* next = m_top->next;
      GlobalFree(m_top);
      m_top = next;
    }
  }

 private:
  void Push(const TCHAR* text) {
    auto* entry = static_cast<StackEntry*>(GlobalAlloc(GPTR, sizeof(StackEntry*) + (kStringSize + 4) * sizeof(TCHAR)));
    lstrcpyn(entry->text, text, kStringSize);
    entry->next = m_top;
    m_top = entry;
  }

  std::string m_path;
  HMODULE m_module = nullptr;
  StackEntry* m_top = nullptr;
};

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

template <typename Action>
double TimeMs(Action&& action) {
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  action();
  QueryPerformanceCounter(&end);
  return Milliseconds(start, end);
}

void PrintSpread(const char* what, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  const double median = times[times.size() / 2];
  const double p90 = times[std::min(times.size() - 1, times.size() * 9 / 10)];
  std::printf("%-44s n=%-5zu median %7.2f ms  p90 %7.2f ms\n", what, times.size(), median, p90);
}

void PrintFootprint(const char* when) {
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  int threads = 0;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++threads;
  }
  CloseHandle(snapshot);
  // The commit charge (PagefileUsage) is the process's private bytes; Wine leaves PrivateUsage 0.
  std::printf("%-44s private %6.1f MiB  working set %6.1f MiB  threads %d\n", when,
              memory.PagefileUsage / 1048576.0, memory.WorkingSetSize / 1048576.0, threads);
}

// The same body size as a report: 278 bytes.
const std::string kBody(278, 'x');

// The floor: what one POST costs WinINet itself, with fresh handles as the plug-in uses.
bool BarePost(const std::string& url) {
  char host[256] = {}, path[1024] = {};
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof(host);
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = sizeof(path);
  if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts)) return false;
  const HINTERNET internet = InternetOpenA("", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  const HINTERNET connection = InternetConnectA(internet, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  const HINTERNET request = HttpOpenRequestA(connection, "POST", path, nullptr, nullptr, nullptr, 0, 0);
  static const char kHeaders[] = "Content-Type: application/json\r\nAccept-Language: en-US\r\n";
  bool sent = HttpSendRequestA(request, kHeaders, sizeof(kHeaders) - 1, const_cast<char*>(kBody.data()),
                               static_cast<DWORD>(kBody.size()));
  char buffer[1024];
  DWORD read = 0;
  while (sent && InternetReadFile(request, buffer, sizeof(buffer), &read) && read > 0) {
  }
  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(internet);
  return sent;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: plugin_bench <Kestrel.dll> <url>\n");
    return 2;
  }
  const std::string dll = argv[1];
  const std::string url = argv[2];
  const std::basic_string<TCHAR> urlText(url.begin(), url.end());
  const TCHAR* event = TEXT("bench&stable&1.0.0");
  int copies = 0;

  std::vector<double> floor;
  BarePost(url);  // warm-up
  for (int i = 0; i < 50; ++i) floor.push_back(TimeMs([&] { BarePost(url); }));
  PrintSpread("floor: bare WinINet POST, fresh handles", floor);

  {
    Plugin plugin(dll, ++copies);
    if (!plugin.Loaded()) {
      std::fprintf(stderr, "cannot load %s\n", dll.c_str());
      return 1;
    }
    for (int i = 0; i < 50; ++i) plugin.Call("NSPostAsync", {urlText.c_str(), event});
    const double wait = TimeMs([&] { plugin.Call("NSWaitDone", {TEXT("-1")}); });
    std::printf("%-44s %.1f ms\n", "NSWaitDone -1 after 50 queued reports", wait);
  }
  {
    PrintFootprint("before loading the plug-in");
    Plugin plugin(dll, ++copies);
    int sent = 0;
    for (int target : {20, 2000}) {
      for (; sent < target - 1; ++sent) plugin.Call("NSPostAsync", {urlText.c_str(), event});
      plugin.Call("NSPost", {urlText.c_str(), event});  // returns once every earlier report has ended
      ++sent;
      PrintFootprint(("after " + std::to_string(sent) + " reports").c_str());
    }
  }
  return 0;
}
