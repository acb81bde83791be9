#include "lifetime/unread_requests.h"

#include <initializer_list>

void KeepUnread(HINTERNET request, HINTERNET connection, HINTERNET internet) {
  for (HINTERNET handle : {request, connection, internet}) {
    if (handle) InternetSetStatusCallbackA(handle, nullptr);
  }
}
