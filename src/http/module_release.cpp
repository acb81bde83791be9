#include "http/module_release.h"

#include <atomic>
#include <new>

#include "common/module_reference.h"
#include "common/unique_handle.h"
#include "http/attempt_context.h"

namespace {

// WinINet's own threads are few; a thread that has ended gives its slot up.
constexpr int kTrackedThreads = 32;
// How long threads seen past LeaveCallback get to return out of the module: a few
// instructions, unless the thread is not scheduled meanwhile.
constexpr DWORD kUnloadLookMs = 20;
constexpr DWORD kReleaserLookMs = 2000;

std::atomic<DWORD> g_callbackThreads[kTrackedThreads];
std::atomic<bool> g_untracked{false};
std::atomic<LONG> g_callbacksInside{0};

bool HasEnded(DWORD threadId) {
  const UniqueHandle thread(OpenThread(SYNCHRONIZE, FALSE, threadId));
  return !thread || WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
}

void TrackThread(DWORD threadId) {
  for (const auto& slot : g_callbackThreads) {
    if (slot.load() == threadId) return;
  }
  for (auto& slot : g_callbackThreads) {
    DWORD seen = slot.load();
    if ((seen == 0 || HasEnded(seen)) && slot.compare_exchange_strong(seen, threadId)) return;
  }
  g_untracked.store(true);
}

bool InThisModule(ULONG_PTR address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(&InThisModule), &module)) {
    return true;
  }
  const auto base = reinterpret_cast<ULONG_PTR>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return address >= base && address - base < nt->OptionalHeader.SizeOfImage;
}

// Whether the thread runs code of this module now; a thread that cannot be looked at counts
// as running it.
bool RunsModuleCode(DWORD threadId) {
  const UniqueHandle thread(
      OpenThread(SYNCHRONIZE | THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, threadId));
  if (!thread) return !HasEnded(threadId);
  if (WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0) return false;
  if (SuspendThread(thread.get()) == static_cast<DWORD>(-1)) return true;
  CONTEXT context = {};
  context.ContextFlags = CONTEXT_CONTROL;
  const BOOL read = GetThreadContext(thread.get(), &context);
  ResumeThread(thread.get());
#ifdef _WIN64
  return !read || InThisModule(context.Rip);
#else
  return !read || InThisModule(context.Eip);
#endif
}

bool CallbackThreadsOutside() {
  if (g_untracked.load() || WinInetMayStillCallBack() || g_callbacksInside.load() != 0) return false;
  const DWORD self = GetCurrentThreadId();
  for (const auto& slot : g_callbackThreads) {
    const DWORD threadId = slot.load();
    if (threadId != 0 && threadId != self && RunsModuleCode(threadId)) return false;
  }
  return true;
}

bool CallbackThreadsLeaveWithin(DWORD limitMs) {
  const DWORD start = GetTickCount();
  while (!CallbackThreadsOutside()) {
    if (GetTickCount() - start >= limitMs) return false;
    Sleep(1);
  }
  return true;
}

struct Release {
  HMODULE module;
  HANDLE worker;  // owned; null when no worker ran
};

DWORD WINAPI ReleaseWhenWinInetIsDone(void* argument) noexcept {
  const Release release = *static_cast<Release*>(argument);
  delete static_cast<Release*>(argument);
  const UniqueHandle worker(release.worker);
  if (worker) WaitForSingleObject(worker.get(), INFINITE);
  WaitUntilNoContexts();
  // Not shown in time: the reference is kept, and the module with it, until the process ends.
  if (!CallbackThreadsLeaveWithin(kReleaserLookMs)) ExitThread(0);
  ExitThreadReleasingModule(release.module, 0);
}

HANDLE Duplicate(HANDLE handle) {
  HANDLE copy = nullptr;
  if (!handle || !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0)) {
    return nullptr;
  }
  return copy;
}

}  // namespace

void EnterCallback() {
  g_callbacksInside.fetch_add(1);
  TrackThread(GetCurrentThreadId());
}

void LeaveCallback() { g_callbacksInside.fetch_sub(1); }

void ReleaseModuleAfterWinInet(HANDLE workerThread) {
  const bool workerEnded = !workerThread || WaitForSingleObject(workerThread, 0) == WAIT_OBJECT_0;
  if (workerEnded && !WinInetMayStillCallBack() && CallbackThreadsLeaveWithin(kUnloadLookMs)) return;
  // Whatever fails from here on keeps the reference: the module then stays until the process ends.
  const HMODULE module = AcquireModuleReference();
  const HANDLE worker = workerEnded ? nullptr : Duplicate(workerThread);
  if (!module || (!workerEnded && !worker)) return;
  auto* release = new (std::nothrow) Release{module, worker};
  const HANDLE thread = release ? CreateThread(nullptr, 0, ReleaseWhenWinInetIsDone, release, 0, nullptr) : nullptr;
  if (thread) {
    CloseHandle(thread);
  } else {
    delete release;
  }
}
