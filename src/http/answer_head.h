#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

#include "text/wide_string.h"

// What the plug-in reads of an answer's head, once WinINet has it: local queries that
// never wait for the network.

// 0, or why the answer has no status: then it is no HTTP answer at all. Under Wine, a new
// connection closed or reset before any answer "succeeds" with status 0.
DWORD QueryStatus(HINTERNET request, uint32_t& status);

// Where a 307 or 308 answer sends the same request, resolved against `url`; empty when the
// request is not to be repeated there.
std::string RedirectTarget(HINTERNET request, uint32_t status, const std::string& url, bool certificateChecked);

// One header's value, empty when the answer has none.
std::string HeaderText(HINTERNET request, DWORD header);

// The Set-Cookie values joined by ";".
WideString CollectCookies(HINTERNET request);

// WinINet takes a close of the connection for the end of the body, even before the length
// that the answer announced.
bool ShortOfAnnouncedLength(HINTERNET request, size_t received);
