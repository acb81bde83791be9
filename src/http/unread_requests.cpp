#include "http/unread_requests.h"

#include <initializer_list>

bool CloseDrainsUnreadAnswers() {
  static const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

void KeepUnread(HINTERNET request, HINTERNET connection, HINTERNET internet) {
  for (HINTERNET handle : {request, connection, internet}) {
    if (handle) InternetSetStatusCallbackA(handle, nullptr);
  }
}
