#include <objbase.h>

#include "report/event_id.h"

namespace {

char g_eventId[64];

}  // namespace

bool MakeGuidText(char (&out)[64]) noexcept {
  // Only a successful CoInitialize is balanced: after a failure (the thread already
  // joined another apartment) CoUninitialize would undo the owner's initialisation.
  const HRESULT comResult = CoInitialize(nullptr);
  GUID guid;
  const bool made = SUCCEEDED(CoCreateGuid(&guid));
  if (made) FormatEventId(out, guid.Data1, guid.Data2, guid.Data3, guid.Data4);
  if (SUCCEEDED(comResult)) CoUninitialize();
  return made;
}

const char* MakeEventId() noexcept {
  MakeGuidText(g_eventId);
  return g_eventId;
}
