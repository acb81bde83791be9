#pragma once

// The commands that attach the installer's details lines to a report, and the lines a silent
// installer keeps for them. Host's thread only. While reports are off, or once NSWaitDone was
// called, both pop their argument as always, change nothing and push 0.

#include <string>

// NSAttachDetails: pops LINES; 1 when the next report queued carries the last LINES (1 to 50)
// details lines, 0 for any other text.
int AttachDetailsCommand();

// NSAddDetail: pops a line (traced by its length only) and keeps it, scrubbed and cut to 512
// bytes at a character boundary, among the last 50; 1 when kept.
int AddDetailCommand();

// The details a report queued now carries, once after NSAttachDetails: the list's rows when the
// installer shows a list with rows, else the kept lines; the newest that fit in 4 KiB, joined
// by '\n'. Empty when none were asked for or there are none.
std::string CaptureDetails();
