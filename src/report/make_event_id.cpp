#include <objbase.h>

#include "report/event_id.h"

namespace {

char g_eventId[64];

}  // namespace

const char* MakeEventId() noexcept {
  // Only a successful CoInitialize is balanced: after a failure (the thread already
  // joined another apartment) CoUninitialize would undo the owner's initialisation.
  const HRESULT comResult = CoInitialize(nullptr);
  GUID guid;
  if (SUCCEEDED(CoCreateGuid(&guid))) {
    FormatEventId(g_eventId, guid.Data1, guid.Data2, guid.Data3, guid.Data4);
  }
  if (SUCCEEDED(comResult)) CoUninitialize();
  return g_eventId;
}
