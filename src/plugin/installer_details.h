#pragma once

// What the installer's window and Windows give for the details lines a report attaches.
// Host's thread only.

#include <windows.h>

#include <string>

#include "report/detail_scrub.h"

// The user's profile folder, user name and computer name, as ScrubDetailLine hides them, in
// the installer's encoding (UTF-8 in the Unicode builds); read at the first use.
const ScrubNames& DetailScrubNames();

// Appends the last `count` rows of the details list on `parent`'s install page (the
// installer's window; null in a silent run), each scrubbed and followed by '\n'. False, with
// nothing appended, when there is no such list or it has no rows.
bool AppendDetailsListRows(HWND parent, unsigned count, std::string& lines);
