// Thousands of calls of the commands with random stacks, through the real DLL:
// every command pops only its own arguments, pushes exactly one number and never
// faults. The seed is printed; KESTREL_SEED=<seed> replays a run.

#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "recording_server.h"
#include "support/loaded_plugin.h"
#include "support/test_host.h"

namespace {

constexpr int kCalls = 3000;
constexpr int kCallsPerCopy = 250;  // a fresh module now and then: NSWaitDone is final
constexpr std::size_t kLongestUrl = 511;

// Every character but NUL: bytes in ANSI builds, UTF-16 units (unpaired surrogates
// included) in Unicode builds.
constexpr int kLargestCharacter = sizeof(TCHAR) == 1 ? 0xFF : 0xFFFF;

NativeText Ascii(const std::string& text) { return NativeText(text.begin(), text.end()); }

std::uint32_t ChooseSeed() {
  if (const char* text = std::getenv("KESTREL_SEED")) {
    return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
  }
  return std::random_device{}() ^ GetTickCount();
}

struct Command {
  const char* name;
  PluginCommand LoadedPlugin::*entry;
  int arguments;
  enum { Wait, Queue, Add, Stop } kind;
};

const Command kCommands[] = {
    {"NSGet", &LoadedPlugin::NSGet, 1, Command::Wait},
    {"NSGetAsync", &LoadedPlugin::NSGetAsync, 1, Command::Queue},
    {"NSPut", &LoadedPlugin::NSPut, 1, Command::Wait},
    {"NSPutAsync", &LoadedPlugin::NSPutAsync, 1, Command::Queue},
    {"NSPost", &LoadedPlugin::NSPost, 2, Command::Wait},
    {"NSPostAsync", &LoadedPlugin::NSPostAsync, 2, Command::Queue},
    {"NSSetField", &LoadedPlugin::NSSetField, 2, Command::Add},
    {"NSSetFormat", &LoadedPlugin::NSSetFormat, 2, Command::Add},
    {"NSAddContext", &LoadedPlugin::NSAddContext, 0, Command::Add},
    {"NSAttachDetails", &LoadedPlugin::NSAttachDetails, 1, Command::Add},
    {"NSAddDetail", &LoadedPlugin::NSAddDetail, 1, Command::Add},
    {"NSWaitDone", &LoadedPlugin::NSWaitDone, 1, Command::Stop},
};
constexpr int kStopCommand = 11;

class RandomCalls {
 public:
  explicit RandomCalls(std::uint32_t seed) : m_random(seed) {}

  int Below(int limit) { return std::uniform_int_distribution<int>(0, limit - 1)(m_random); }
  bool OneIn(int n) { return Below(n) == 0; }

  // Mostly short texts, some near the host's and the plug-in's limits.
  NativeText Text(int largest = kLargestCharacter) {
    static const int kLengths[] = {0, 16, 600, 1100, 8192};
    const int length = Below(kLengths[Below(5)] + 1);
    NativeText text(static_cast<std::size_t>(length), 0);
    for (TCHAR& c : text) c = static_cast<TCHAR>(1 + Below(largest));
    return text;
  }

  // Mostly time limits that the worker meets at once; now and then no limit at all.
  NativeText TimeoutText() {
    switch (Below(4)) {
      case 0: return Ascii("-1");
      case 1: return Ascii(std::to_string(Below(3000)));
      default: return Text();
    }
  }

  int StringSize() { return OneIn(4) ? 1 + Below(8) : 1 + Below(8192); }

  // A URL may reach WinINet only as one that cannot name a host (no ':' means no
  // scheme, and with no "//" nothing is taken for a host) or as one whose host part is
  // 127.0.0.1 and the test's own endpoint, whole even after the host cuts the text to
  // string_size. Nothing is ever resolved or contacted elsewhere. URLs are ASCII in
  // Unicode builds (their encoding has tests of its own), so that one length decides
  // whether a URL fits in every build.
  NativeText Url(int stringSize, const std::string& base) {
    const NativeText text = Text(0x7F);
    const NativeText prefix = Ascii(base + "/");
    if (OneIn(2) && static_cast<std::size_t>(stringSize) > prefix.size()) return prefix + text;
    NativeText withoutHost;
    for (TCHAR c : text) {
      if (c != ':' && c != '/' && c != '\\') withoutHost += c;
    }
    return withoutHost;
  }

 private:
  std::mt19937 m_random;
};

// What the top entry may read: the number cut to string_size - 1 characters, as pushed.
NativeText Cut(const char* number, int stringSize) {
  return Ascii(number).substr(0, static_cast<std::size_t>(stringSize - 1));
}

struct Entry {
  stack_t* address;
  NativeText text;
};

std::vector<Entry> Snapshot(const TestHost& host) {
  std::vector<Entry> entries;
  for (stack_t* entry = host.Top(); entry; entry = entry->next) entries.push_back({entry, entry->text});
  return entries;
}

TEST(RandomCalls, EveryCommandPopsItsOwnArgumentsAndPushesOneNumber) {
  const std::uint32_t seed = ChooseSeed();
  std::printf("seed %u (replay with KESTREL_SEED=%u)\n", seed, seed);
  std::fflush(stdout);
  SCOPED_TRACE("seed " + std::to_string(seed));

  RandomCalls random(seed);
  // Answers 200 at once, so that no queued report is retried: a refused port would
  // hold the queue through every report's backoff.
  RecordingServer endpoint;
  const DWORD start = GetTickCount();
  int withWorker = 0;  // calls made before the copy's worker was stopped
  int copies = 0;

  for (int call = 0; call < kCalls && !::testing::Test::HasFailure();) {
    LoadedPlugin plugin;
    ASSERT_NE(plugin.Module(), nullptr);
    ++copies;
    NSISPLUGINCALLBACK callback = nullptr;
    bool stopped = false;
    bool formatRefused = false;  // a refused NSSetFormat refuses reports until one is taken

    // A copy ends after kCallsPerCopy calls, or a few calls after its worker stopped.
    for (int left = kCallsPerCopy; left > 0 && call < kCalls && !::testing::Test::HasFailure();
         --left, ++call) {
      const bool stop = random.OneIn(stopped ? 4 : 80);
      const Command& command = stop ? kCommands[kStopCommand] : kCommands[random.Below(kStopCommand)];
      const int stringSize = random.StringSize();
      TestHost host(stringSize);
      TestHost::s_registerResult = random.OneIn(4) ? (random.OneIn(2) ? 1 : -1) : 0;
      const bool noStack = random.OneIn(20);
      const bool noExtra = random.OneIn(30);

      const int depth = random.OneIn(8) ? 0 : 1 + random.Below(4);
      bool urlFits = true;
      for (int i = depth - 1; i >= 0; --i) {
        if (i == 0 && stop) {
          host.PushNative(random.TimeoutText());
        } else if (i == 0 && command.arguments == 2) {
          host.PushNative(random.Url(stringSize, endpoint.Base()));
          const auto url = NativeText(host.Top()->text);  // as the host cut it
          urlFits = !url.empty() && url.size() <= kLongestUrl;
        } else {
          host.PushNative(random.Text());
        }
      }
      const std::vector<Entry> before = Snapshot(host);
      SCOPED_TRACE("call " + std::to_string(call) + ": " + command.name + ", string_size " +
                   std::to_string(stringSize) + ", depth " + std::to_string(depth) +
                   (noStack ? ", no stack" : "") + (noExtra ? ", no extra parameters" : ""));

      DebugOutputCapture output;
      (plugin.*command.entry)(nullptr, stringSize, nullptr, noStack ? nullptr : host.StackTop(),
                              noExtra ? nullptr : host.Extra());
      if (TestHost::s_registeredCallback) callback = TestHost::s_registeredCallback;
      const auto lines = output.Lines();  // the pops', not the worker's lines on reports
      const auto traces = static_cast<std::size_t>(std::count_if(
          lines.begin(), lines.end(), [](const std::string& line) { return line.find("pluginapi") != std::string::npos; }));

      const std::vector<Entry> after = Snapshot(host);
      if (noStack) {
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t i = 0; i < after.size(); ++i) {
          ASSERT_EQ(after[i].address, before[i].address);
          ASSERT_EQ(after[i].text, before[i].text);
        }
        ASSERT_EQ(traces, 0u) << "traced a pop without a stack";
        if (command.entry == &LoadedPlugin::NSSetFormat && !stopped) formatRefused = true;  // refused: no arguments
      } else {
        const std::size_t popped = std::min<std::size_t>(before.size(), command.arguments);
        ASSERT_EQ(after.size(), before.size() - popped + 1);
        for (std::size_t i = 1; i < after.size(); ++i) {
          ASSERT_EQ(after[i].address, before[popped + i - 1].address) << "entry " << i;
          ASSERT_EQ(after[i].text, before[popped + i - 1].text) << "entry " << i;
        }
        ASSERT_GE(GlobalSize(after[0].address), offsetof(stack_t, text) + (stringSize + 4) * sizeof(TCHAR));

        const bool missing = before.size() < static_cast<std::size_t>(command.arguments);  // 0: nothing changes
        const NativeText zero = Cut("0", stringSize);
        const NativeText one = Cut("1", stringSize);
        const NativeText& pushed = after[0].text;
        switch (command.kind) {
          case Command::Wait:  // a report reaches the endpoint (200), or nothing
            ASSERT_TRUE(pushed == zero || pushed == Cut("200", stringSize));
            break;
          case Command::Queue:  // a URL too long is refused, never cut
            ASSERT_EQ(pushed, stopped || !urlFits || missing || (formatRefused && command.arguments == 2) ? zero : one);
            break;
          case Command::Add:  // a field or a count may be refused; nothing is added once the worker stopped
            ASSERT_TRUE(pushed == (stopped || missing ? zero : one) ||
                        ((command.arguments == 2 || command.entry == &LoadedPlugin::NSAttachDetails) && pushed == zero));
            if (command.entry == &LoadedPlugin::NSSetFormat && !stopped) formatRefused = pushed == zero;
            break;
          case Command::Stop:
            ASSERT_TRUE(pushed == zero || pushed == one);
            break;
        }
        ASSERT_EQ(traces, popped) << "one trace line per pop";
      }
      if (!stopped) ++withWorker;
      if (stop && !stopped && !noStack && before.size() > 0) {
        stopped = true;
        left = std::min(left, 20);
      }
    }

    // As the host ends an installer: the unload message, then FreeLibrary.
    if (callback) {
      EXPECT_EQ(callback(NSPIM_UNLOAD), 0u);
    }
    plugin.Unload();
    if (callback || stopped) {
      EXPECT_TRUE(plugin.WaitUntilReleased(10000)) << plugin.Path();
    }
  }
  std::printf("%d calls (%d with a live worker) on %d copies in %lu ms, seed %u\n", kCalls,
              withWorker, copies, GetTickCount() - start, seed);
}

}  // namespace
