#pragma once

#include <windows.h>
#include <wininet.h>

// A request whose answer was left unread is never closed by the plug-in: closing any handle
// of it makes WinINet read the rest of the answer first, for as long as the server keeps
// sending. Such requests are kept open, with no thread of ours, until the process ends
// (the host frees the plug-in right before it does). Past kMaxUnreadRequests, the oldest
// one kept is closed on a short-lived thread that holds a module reference while it reads.
constexpr int kMaxUnreadRequests = 8;

// Takes the three handles of one request (any of them may be null).
void KeepUnread(HINTERNET request, HINTERNET connection, HINTERNET internet);
