#pragma once

#include <windows.h>
#include <wininet.h>

// A request whose answer was not read to its end is closed like any other on Windows, where
// closing discards what is still to come and frees the connection at once. Wine's WinINet
// instead reads the rest of the answer before the close returns, for as long as the server
// keeps sending; there such a request is never closed but left open, with nothing pending
// and no callback, until the process ends (the host frees the plug-in right before that).
// Each then costs a socket and WinINet's buffers for it.

// Whether closing a request makes WinINet read the rest of its answer first: true under Wine.
bool CloseDrainsUnreadAnswers();

// Takes the three handles of one request (any may be null); called by the only thread that
// used them, with no call of theirs pending, so no callback can be under way.
void KeepUnread(HINTERNET request, HINTERNET connection, HINTERNET internet);
