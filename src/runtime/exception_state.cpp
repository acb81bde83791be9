// The C++ runtime keeps a thread's exception state in thread-local storage that it allocates
// at the thread's first throw, and ends the process when it cannot. Commands run on threads
// the plug-in never sees start (a GUI installer's section thread, the page callbacks'), where
// that first throw may be the one for want of memory. These definitions take the runtime's
// place and hand out states from a fixed pool, allocating nothing. Like the terminate
// handler, they must be the DLL's own objects to come before the runtime's.
#include "runtime/exception_state.h"

#include <windows.h>

#include <cstdlib>

namespace __cxxabiv1 {
struct __cxa_exception;
// The layout the runtime reads and writes (the Itanium C++ ABI's, as on x86 and x64).
struct __cxa_eh_globals {
  __cxa_exception* caughtExceptions;
  unsigned int uncaughtExceptions;
};
}  // namespace __cxxabiv1

namespace {

using __cxxabiv1::__cxa_eh_globals;

// More threads than ever call into an installer's plug-in at once.
constexpr int kPooledStates = 16;
__cxa_eh_globals g_states[kPooledStates];
LONG g_taken[kPooledStates];

struct StateSlot {
  DWORD index = TlsAlloc();
  ~StateSlot() {
    if (index != TLS_OUT_OF_INDEXES) TlsFree(index);
  }
} g_slot;

__cxa_eh_globals* NewState() {
  for (int i = 0; i < kPooledStates; ++i) {
    if (InterlockedCompareExchange(&g_taken[i], 1, 0) == 0) return &g_states[i];
  }
  // Past the pool, as the runtime itself would: a first throw there needs memory.
  auto* state = static_cast<__cxa_eh_globals*>(std::calloc(1, sizeof(__cxa_eh_globals)));
  if (!state) std::abort();
  return state;
}

}  // namespace

namespace __cxxabiv1 {

// Without a slot the module refuses to load (ExceptionStateReady), so none of its code runs.
extern "C" __cxa_eh_globals* __cxa_get_globals_fast() noexcept {
  return static_cast<__cxa_eh_globals*>(TlsGetValue(g_slot.index));
}

extern "C" __cxa_eh_globals* __cxa_get_globals() noexcept {
  if (!ExceptionStateReady()) std::abort();
  __cxa_eh_globals* state = __cxa_get_globals_fast();
  if (!state) {
    state = NewState();
    TlsSetValue(g_slot.index, state);
  }
  return state;
}

}  // namespace __cxxabiv1

bool ExceptionStateReady() noexcept { return g_slot.index != TLS_OUT_OF_INDEXES; }

void ReleaseThreadExceptionState() noexcept {
  if (!ExceptionStateReady()) return;
  auto* state = static_cast<__cxa_eh_globals*>(TlsGetValue(g_slot.index));
  if (!state) return;
  TlsSetValue(g_slot.index, nullptr);
  const auto pooled = state - g_states;
  if (pooled >= 0 && pooled < kPooledStates) {
    *state = {};
    InterlockedExchange(&g_taken[pooled], 0);
  } else {
    std::free(state);
  }
}
