#pragma once

#include <windows.h>
#include <wininet.h>

// A request whose answer was not read to its end is never closed: closing any handle of it
// makes WinINet read the rest of the answer first, for as long as the server keeps sending.
// It is left open, with nothing pending and no callback, until the process ends; the host
// frees the plug-in right before that. Each costs a socket and WinINet's buffers for it.
//
// Takes the three handles of one request (any may be null); called by the only thread that
// used them, with no call of theirs pending, so no callback can be under way.
void KeepUnread(HINTERNET request, HINTERNET connection, HINTERNET internet);
