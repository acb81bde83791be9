#pragma once

#include <windows.h>
#include <wininet.h>

#include "common/unique_handle.h"

// Sole owner of one WinINet handle (session, connection or request).
using InternetHandle = UniqueResource<HINTERNET, InternetCloseHandle>;
