#include "http/unread_requests.h"

#include <mutex>

#include "common/module_reference.h"

namespace {

struct UnreadRequest {
  HINTERNET request = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET internet = nullptr;
};

void CloseRequest(const UnreadRequest& handles) {
  for (HINTERNET handle : {handles.request, handles.connection, handles.internet}) {
    if (handle) InternetCloseHandle(handle);
  }
}

struct CloseThreadArgs {
  UnreadRequest handles;
  HMODULE moduleReference;
};

DWORD WINAPI CloseThreadProc(LPVOID parameter) noexcept {
  const auto* args = static_cast<CloseThreadArgs*>(parameter);
  const HMODULE reference = args->moduleReference;
  CloseRequest(args->handles);
  delete args;
  ExitThreadReleasingModule(reference, 0);
}

// Raw handles on purpose: static destructors run at process exit, when closing one of
// these would read the rest of its answer and hold up the exit.
std::mutex g_unreadLock;
UnreadRequest g_unread[kMaxUnreadRequests];
int g_nextSlot = 0;

void CloseOnThreadOfItsOwn(const UnreadRequest& handles) {
  const HMODULE reference = AcquireModuleReference();
  auto* parameter = new CloseThreadArgs{handles, reference};
  const HANDLE thread = CreateThread(nullptr, 0, CloseThreadProc, parameter, 0, nullptr);
  if (thread) {
    CloseHandle(thread);
    return;
  }
  // Without a thread the request stays open: better than holding up the caller.
  delete parameter;
  if (reference) FreeLibrary(reference);
}

}  // namespace

void KeepUnread(HINTERNET request, HINTERNET connection, HINTERNET internet) {
  UnreadRequest evicted;
  {
    std::lock_guard<std::mutex> lock(g_unreadLock);
    evicted = g_unread[g_nextSlot];
    g_unread[g_nextSlot] = {request, connection, internet};
    g_nextSlot = (g_nextSlot + 1) % kMaxUnreadRequests;
  }
  if (evicted.request || evicted.connection || evicted.internet) CloseOnThreadOfItsOwn(evicted);
}
