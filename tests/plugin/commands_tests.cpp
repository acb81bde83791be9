// The exported commands, called through the real DLL with a host of the test's own.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "recording_server.h"
#include "support/loaded_plugin.h"
#include "support/silent_server.h"
#include "support/test_host.h"
#include "support/test_threads.h"

namespace {

void* __cdecl NoMalloc(std::size_t) { return nullptr; }
void* __cdecl NoCalloc(std::size_t, std::size_t) { return nullptr; }

// The plug-in's import slot for msvcrt's `name`: swapping it makes the DLL's own calls fail.
void** MsvcrtSlot(HMODULE module, const char* name) {
  auto* base = reinterpret_cast<BYTE*>(module);
  const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
      base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
  for (; entry->Name; ++entry) {
    if (_stricmp(reinterpret_cast<char*>(base + entry->Name), "msvcrt.dll") != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
    for (auto** slot = reinterpret_cast<void**>(base + entry->FirstThunk); names->u1.AddressOfData; ++names, ++slot) {
      const auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) && std::strcmp(byName->Name, name) == 0) return slot;
    }
  }
  return nullptr;
}

void* Swap(void** slot, void* value) {
  DWORD protection = 0;
  VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
  void* old = *slot;
  *slot = value;
  VirtualProtect(slot, sizeof *slot, protection, &protection);
  return old;
}

class Commands : public ::testing::Test {
 protected:
  // Calls `command` with `arguments` (first argument first) and returns the one
  // number it pushed, checking that nothing else on the stack changed.
  std::string Call(PluginCommand command, std::initializer_list<std::string> arguments) {
    m_host.Push("entry below the arguments");
    for (auto it = std::rbegin(arguments); it != std::rend(arguments); ++it) m_host.Push(*it);
    m_host.Call(command);
    EXPECT_EQ(m_host.Depth(), 2u) << "arguments left on the stack or more than one result";
    const std::string result = m_host.PopText();
    EXPECT_EQ(m_host.PopText(), "entry below the arguments");
    return result;
  }

  // As the host ends an installer, so that an idle worker lets the copy go.
  void TearDown() override {
    if (TestHost::s_registeredCallback) TestHost::s_registeredCallback(NSPIM_UNLOAD);
  }

  TestHost m_host{8192};  // as large-string builds of NSIS
  DebugOutputCapture m_output;
  LoadedPlugin m_plugin;
};

// Turned off, nothing is queued and nothing starts: no worker holds the module at FreeLibrary.
TEST_F(Commands, ReportsOffStartNoWorker) {
  SetEnvironmentVariableA("DO_NOT_TRACK", "1");
  EXPECT_EQ(Call(m_plugin.NSGetAsync, {""}) + Call(m_plugin.NSPutAsync, {""}) + Call(m_plugin.NSPut, {""}), "000");
  SetEnvironmentVariableA("DO_NOT_TRACK", nullptr);
  TestHost::s_registeredCallback = nullptr;  // the module goes before TearDown
  m_plugin.Unload();
  EXPECT_FALSE(m_plugin.IsMapped());
}

TEST_F(Commands, FirstGetPushesZeroAndEveryJobCommandPushesOneNumber) {
  EXPECT_EQ(Call(m_plugin.NSEnabled, {}), "1");
  EXPECT_EQ(Call(m_plugin.NSGet, {"unused"}), "0");
  EXPECT_EQ(Call(m_plugin.NSGetAsync, {"unused"}), "1");
  EXPECT_EQ(Call(m_plugin.NSPut, {"unused"}), "0");
  EXPECT_EQ(Call(m_plugin.NSPutAsync, {std::string(4000, 'p')}), "1");
  EXPECT_EQ(Call(m_plugin.NSGet, {std::string(600, 'g')}), "0");
}

TEST_F(Commands, EachPopIsTracedWithItsText) {
  Call(m_plugin.NSPut, {"first&text"});
  Call(m_plugin.NSWaitDone, {"-1"});
  const auto lines = m_output.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("\\nsis\\include\\pluginapi.cpp<60>:\t" + kPop + " first&text (10)\n"),
            std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("\\nsis\\include\\pluginapi.cpp<72>:\t" + kBoundedPop + " -1 (2)\n"),
            std::string::npos) << lines[1];
}

// Out of memory from the first command on, the opt-out's read included, and then on threads
// that call for the first time (as a GUI installer's section thread): each command still
// takes exactly its own arguments and leaves one number, and NSGetError tells why NSPost failed.
TEST_F(Commands, OutOfMemoryLeavesOneNumberAndNoArgumentBehind) {
  void** const slots[] = {MsvcrtSlot(m_plugin.Module(), "malloc"), MsvcrtSlot(m_plugin.Module(), "calloc")};
  ASSERT_TRUE(slots[0] && slots[1]);
  void* const kept[] = {Swap(slots[0], reinterpret_cast<void*>(&NoMalloc)),
                        Swap(slots[1], reinterpret_cast<void*>(&NoCalloc))};
  const auto commands = [this] {
    std::string pushed = Call(m_plugin.NSPost, {"http://127.0.0.1:9/\xC3\xA9", "a&b&1"});
    pushed += Call(m_plugin.NSSetField, {"step", "files"});
    pushed += Call(m_plugin.NSGet, {""});
    pushed += Call(m_plugin.NSEnabled, {});
    return pushed + Call(m_plugin.NSGetError, {});
  };
  EXPECT_EQ(commands(), "0001other 8");
  // One thread after another, past the 16 pooled states: each gives its own back at its end.
  for (int thread = 0; thread < 17; ++thread) {
    std::string pushed;
    TestThread([&] { pushed = commands(); }).join();
    EXPECT_EQ(pushed, "0001other 8") << thread;
  }
  Swap(slots[0], kept[0]);
  Swap(slots[1], kept[1]);
}

// A missing argument is the script's mistake, not an empty text: 0, and nothing queued or set.
TEST_F(Commands, CommandsShortOfArgumentsPushZeroAndChangeNothing) {
  m_host.Call(m_plugin.NSGet);
  ASSERT_EQ(m_host.Depth(), 1u);
  EXPECT_EQ(m_host.Top()->next, nullptr);
  EXPECT_EQ(m_host.PopText(), "0");
  m_host.Call(m_plugin.NSPutAsync);
  EXPECT_EQ(m_host.PopText(), "0");
  m_host.Push("step");
  m_host.Call(m_plugin.NSSetField);
  EXPECT_EQ(m_host.PopText(), "0");
  m_host.Push("ga4");
  m_host.Call(m_plugin.NSSetFormat);
  EXPECT_EQ(m_host.PopText(), "0");
  EXPECT_EQ(m_host.Depth(), 0u);
  EXPECT_EQ(m_output.Lines().size(), 2u);
  // but a refused NSSetFormat, whatever the cause, refuses later reports
  EXPECT_EQ(Call(m_plugin.NSPost, {"http://127.0.0.1:9/", "e"}), "0");
  EXPECT_EQ(Call(m_plugin.NSGetError, {}), "invalid 0");
}

// A format is taken by its name in any letter case, with a key just where it sends one; a refused one
// refuses later reports (nothing sent, the reason traced) until one is taken. Nothing changes after NSWaitDone.
TEST_F(Commands, SetFormatTakesKnownNamesAndTheirKeys) {
  RecordingServer server;
  const std::string ga4 = "/mp/collect?measurement_id=G-1&api_secret=s";
  const struct { const char* name; std::string key; std::string path; const char* pushed; } rows[] = {
      {"posthog", "", "/", "0 0 invalid 0"},             {"PostHog", "phc_k", "/", "1 200 ok 200"},
      {"postHug", "phc_k", "/", "0 0 invalid 0"},        {"mixpanel", std::string(257, 't'), "/", "0 0 invalid 0"},
      {"ga4", "G-1", ga4, "0 0 invalid 0"},              {"kestrel", "k", "/", "0 0 invalid 0"},
      {"GA4", "", "/mp/collect?measurement_id=G-1", "1 0 invalid 0"},
      {"ga4", "", ga4, "1 200 ok 200"},                  {"Amplitude", "secret-key", "/", "1 200 ok 200"},
      {"kestrel", "", "/", "1 200 ok 200"},               {"RudderStack", "rk", "/", "1 200 ok 200"},
      // Kestrel's document is refused before any lookup at a vendor's own host, whatever the port or case.
      {"kestrel", "", "https://us.i.posthog.com/i/v0/e/", "1 0 invalid 0"},
      {"kestrel", "", "http://API.Mixpanel.com:80/track", "1 0 invalid 0"}};
  for (const auto& row : rows) {
    const std::string set = Call(m_plugin.NSSetFormat, {row.name, row.key});
    const std::string url = row.path[0] == '/' ? server.Base() + row.path : row.path;
    const std::string posted = Call(m_plugin.NSPost, {url, "e&b&1"});
    EXPECT_EQ(set + ' ' + posted + ' ' + Call(m_plugin.NSGetError, {}), row.pushed) << row.name << ' ' << row.key;
  }
  EXPECT_EQ(server.Requests().size(), 5u);
  EXPECT_EQ(Call(m_plugin.NSWaitDone, {"-1"}), "1");
  EXPECT_EQ(Call(m_plugin.NSSetFormat, {"ga4", ""}), "0");
  std::string traced;  // no key, and each refused report's line names why
  for (const std::string& line : m_output.Lines()) traced += line;
  EXPECT_EQ(traced.find("secret-key"), std::string::npos);
  for (const char* why : {"no key)", "unknown format name)", "key over 256 bytes)", "a key where none is taken)"})
    EXPECT_NE(traced.find(std::string("report refused: invalid 0 (NSSetFormat: ") + why), std::string::npos) << why;
  EXPECT_NE(traced.find("report refused: invalid 0 (Kestrel's document to a vendor's host)"), std::string::npos);
}

// A 1 means every later report goes out with the field and the id: a field that the format's
// body sets itself is refused, and so is a format whose body would lose a field already set.
TEST_F(Commands, FieldsFormatsAndDeviceIdsNeverLoseEachOther) {
  const std::string results[] = {
      Call(m_plugin.NSSetFormat, {"mixpanel", "t0ken"}), Call(m_plugin.NSSetField, {"distinct_id", "x"}),
      Call(m_plugin.NSSetField, {"ip", "10.0.0.1"}),     Call(m_plugin.NSSetFormat, {"kestrel", ""}),
      Call(m_plugin.NSSetField, {"token", "x"}),         Call(m_plugin.NSSetFormat, {"mixpanel", "t0ken"}),
      Call(m_plugin.NSSetDeviceId, {"{pc-4711}"}),       Call(m_plugin.NSSetDeviceId, {"pc-1"}),
      Call(m_plugin.NSWaitDone, {"-1"}),                 Call(m_plugin.NSSetDeviceId, {"{pc-4711}"})};
  std::string pushed;
  for (const std::string& result : results) pushed += result;
  EXPECT_EQ(pushed, "1001101010");
  for (const std::string& line : m_output.Lines()) EXPECT_EQ(line.find("pc-4711"), std::string::npos) << line;
}

// An empty id withdraws the one set: the next report counts by the run again.
TEST_F(Commands, AnEmptyDeviceIdWithdrawsTheOneSet) {
  RecordingServer server;
  const std::string pushed = Call(m_plugin.NSSetDeviceId, {"pc-4711"}) + Call(m_plugin.NSSetDeviceId, {""}) +
                             Call(m_plugin.NSPost, {server.Base() + "/", "e&b&1"});
  EXPECT_EQ(pushed, "11200");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].body.find("device_id"), std::string::npos) << server.Requests()[0].body;
}

TEST_F(Commands, RegistersTheCallbackUntilTheHostAccepts) {
  TestHost::s_registerResult = 1;  // "already registered": not taken as success
  Call(m_plugin.NSGet, {""});
  Call(m_plugin.NSGet, {""});
  TestHost::s_registerResult = -1;
  Call(m_plugin.NSPutAsync, {""});
  EXPECT_EQ(TestHost::s_registerCalls, 3);
  EXPECT_EQ(TestHost::s_registeredModule, m_plugin.Module());

  TestHost::s_registerResult = 0;
  Call(m_plugin.NSGet, {""});
  Call(m_plugin.NSGet, {""});
  EXPECT_EQ(TestHost::s_registerCalls, 4);
}

TEST_F(Commands, WorksWithoutARegistrationBlockOrAStack) {
  m_host.Push("x");
  m_plugin.NSPut(nullptr, 1024, nullptr, m_host.StackTop(), nullptr);
  EXPECT_EQ(m_host.PopText(), "0");
  m_plugin.NSGet(nullptr, 1024, nullptr, nullptr, m_host.Extra());
  EXPECT_EQ(m_host.Depth(), 0u);
}

TEST_F(Commands, CallbackWarnsOnlyAboutUnknownMessages) {
  Call(m_plugin.NSGet, {""});
  ASSERT_NE(TestHost::s_registeredCallback, nullptr);
  EXPECT_EQ(TestHost::s_registeredCallback(NSPIM_GUIUNLOAD), 0u);
  // Commands may still follow the GUI's unload.
  EXPECT_EQ(Call(m_plugin.NSPutAsync, {""}), "1");
  const std::size_t before = m_output.Lines().size();
  EXPECT_EQ(TestHost::s_registeredCallback(static_cast<NSPIM>(2)), 0u);
  EXPECT_EQ(TestHost::s_registeredCallback(NSPIM_UNLOAD), 0u);
  const auto lines = m_output.Lines();
  ASSERT_EQ(lines.size(), before + 2);
  EXPECT_EQ(lines[before], "NSUTILS: Unknown callback message. Take care!\n");
  EXPECT_NE(lines.back().find("\tunload: reports taken 0, failed 0, waiting 0\n"), std::string::npos) << lines.back();
}

TEST_F(Commands, WaitDoneAsTheFirstCommandEndsTheWorkerPromptly) {
  const DWORD start = GetTickCount();
  EXPECT_EQ(Call(m_plugin.NSWaitDone, {"-1"}), "1");
  EXPECT_LT(GetTickCount() - start, 1000u);
  EXPECT_EQ(Call(m_plugin.NSWaitDone, {"0"}), "1");  // already ended

  // From now on nothing is queued and nothing waits.
  EXPECT_EQ(Call(m_plugin.NSPutAsync, {""}), "0");
  EXPECT_EQ(Call(m_plugin.NSPut, {""}), "0");
  EXPECT_EQ(Call(m_plugin.NSGetAsync, {""}), "0");
  EXPECT_EQ(Call(m_plugin.NSGet, {""}), "0");
  EXPECT_EQ(Call(m_plugin.NSGetError, {}), "stopped 0");
  EXPECT_LT(GetTickCount() - start, 2000u);
}

TEST_F(Commands, WaitDoneLetsQueuedJobsFinish) {
  for (int i = 0; i < 20; ++i) EXPECT_EQ(Call(m_plugin.NSPutAsync, {""}), "1");
  EXPECT_EQ(Call(m_plugin.NSWaitDone, {"-1"}), "1");
}

// With a report hanging on a silent server the worker is busy, so a time limit of 0
// gives up at once.
TEST_F(Commands, WaitDoneWithoutDigitsDoesNotWait) {
  SilentServer server;
  EXPECT_EQ(Call(m_plugin.NSPostAsync, {server.Url(), "a&b&c"}), "1");
  const DWORD start = GetTickCount();
  EXPECT_EQ(Call(m_plugin.NSWaitDone, {"soon"}), "0");
  EXPECT_EQ(Call(m_plugin.NSGet, {""}), "0");
  m_host.Call(m_plugin.NSWaitDone);  // an empty stack: no time limit either
  EXPECT_EQ(m_host.PopText(), "0");
  EXPECT_EQ(m_host.Depth(), 0u);
  EXPECT_LT(GetTickCount() - start, 1000u);
}

TEST_F(Commands, WaitDoneReadsAtMost128Characters) {
  SilentServer server;
  EXPECT_EQ(Call(m_plugin.NSPostAsync, {server.Url(), "a&b&c"}), "1");
  const DWORD start = GetTickCount();
  // Only the 128 zeros count: a time limit of 0.
  EXPECT_EQ(Call(m_plugin.NSWaitDone, {std::string(128, '0') + "1000000"}), "0");
  EXPECT_LT(GetTickCount() - start, 1000u);
}

TEST_F(Commands, WaitDoneTakesSpacesSignsAndHugeNumbers) {
  Call(m_plugin.NSGet, {""});
  EXPECT_EQ(Call(m_plugin.NSWaitDone, {"  +99999999999999999999 ms"}), "1");
}

// A cut URL would name another address: one longer than 511 bytes is refused in every
// build, its event text is still taken off the stack, and the trace shows it whole.
TEST_F(Commands, UrlsLongerThanTheirBufferAreRefusedNotCut) {
  RecordingServer server;
  const std::string base = server.Base() + "/dev/";
  const std::string fits = base + std::string(511 - base.size(), 'p');
  const std::string over = fits + "q";

  EXPECT_EQ(Call(m_plugin.NSPostAsync, {over, "a&b&c"}), "0");
  EXPECT_EQ(Call(m_plugin.NSPost, {over, "a&b&c"}), "0");
  EXPECT_EQ(Call(m_plugin.NSPost, {fits, "a&b&c"}), "200");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, fits.substr(server.Base().size()));

  const auto lines = m_output.Lines();  // each refusal traced after its pops, then the attempt
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_NE(lines[0].find("\t" + kPop + " " + over + " (512)\n"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("\t" + kPop + " a&b&c (5)\n"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("\treport refused: url 0\n"), std::string::npos) << lines[2];
  EXPECT_NE(lines[8].find(" attempt 1 direct: ok 200, status 200, "), std::string::npos) << lines[8];
}

#ifdef UNICODE

// é, 中 and 😀 (a surrogate pair) in every field arrive as UTF-8, escaped as in the
// ANSI build; the URL's non-ASCII characters go out percent-encoded.
TEST_F(Commands, UnicodeReportsCarryUtf8AndEncodeTheUrl) {
  RecordingServer server;
  const std::string sample = "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
  EXPECT_EQ(Call(m_plugin.NSPost, {server.Base() + "/dev/\xC3\xBC?q=\xC3\xA9%41",
                                   "n" + sample + "&\"c\\" + sample + "&v" + sample}),
            "200");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  // Escapes the script wrote go out as written, as in the ANSI build.
  EXPECT_EQ(requests[0].target, "/dev/%C3%BC?q=%C3%A9%41");
  const std::string& body = requests[0].body;
  EXPECT_NE(body.find("\"app_version\":\"v" + sample + "\",\"channel\":\"\\\"c\\\\" + sample +
                      "\",\"env\":\"test\",\"event\":\"n" + sample + "\","),
            std::string::npos) << body;
}

TEST_F(Commands, UnicodeUrlLimitAppliesToTheUrlAsRequested) {
  RecordingServer server;
  const std::string base = server.Base() + "/";
  // é is 2 bytes popped and 6 requested (%C3%A9).
  const std::string fits = base + std::string(511 - base.size() - 6, 'p') + "\xC3\xA9";
  const std::string over = base + std::string(511 - base.size() - 5, 'p') + "\xC3\xA9";
  EXPECT_EQ(Call(m_plugin.NSPost, {over, "a&b&c"}), "0");
  EXPECT_EQ(Call(m_plugin.NSPost, {fits, "a&b&c"}), "200");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(server.Base().size() + requests[0].target.size(), 511u);
}

// A non-ASCII host name would need IDNA: refused before any lookup (and the label is
// longer than 63 bytes, so that even a lookup would fail before any query).
TEST_F(Commands, UnicodeRefusesNonAsciiHostNames) {
  const std::string host = std::string(64, 'b') + "\xC3\xBC" + ".invalid";
  const DWORD start = GetTickCount();
  EXPECT_EQ(Call(m_plugin.NSPostAsync, {"http://" + host + "/", "a&b&c"}), "0");
  EXPECT_EQ(Call(m_plugin.NSPost, {"http://" + host + "/", "a&b&c"}), "0");
  EXPECT_LT(GetTickCount() - start, 2000u);
}

// The event text is cut at a character boundary within its 1023 bytes.
TEST_F(Commands, UnicodeEventTextIsCutAtACharacterBoundary) {
  RecordingServer server;
  const std::string head = "e&c&";
  const std::string text = head + std::string(1023 - head.size() - 2, 'v') + "\xE4\xB8\xAD";
  EXPECT_EQ(Call(m_plugin.NSPost, {server.Base() + "/", text}), "200");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_NE(requests[0].body.find("\"app_version\":\"" + std::string(1023 - head.size() - 2, 'v') + "\""),
            std::string::npos);
}

TEST_F(Commands, UnicodeResultsAreUtf16) {
  m_host.Call(m_plugin.NSGet);
  EXPECT_EQ(m_host.PopNative(), L"0");
  m_host.Push("queued");
  m_host.Call(m_plugin.NSPutAsync);
  EXPECT_EQ(m_host.PopNative(), L"1");
  m_host.Call(m_plugin.NSGetError);
  EXPECT_EQ(m_host.PopNative(), L"none 0");
}

#endif

}  // namespace
