#pragma once

#include <windows.h>
#include <wininet.h>

// A request whose answer was not read to its end is never closed: Wine's WinINet reads the
// rest of the answer before the close returns, for as long as the server keeps sending. It is
// left open instead, with nothing pending and no callback, until the process ends (the host
// frees the plug-in right before that). Each costs a socket, WinINet's buffers for it and, on
// Windows, one of the connections WinINet allows a process per server.

// Takes the three handles of one request (any may be null); called by the only thread that
// used them, with no call of theirs pending, so no callback can be under way.
void KeepUnread(HINTERNET request, HINTERNET connection, HINTERNET internet);
