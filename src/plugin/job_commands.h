#pragma once

// The work behind the exported commands, after the prologue; each returns the number
// the command pushes. With reports off (optout_settings) every command pops its
// arguments as always and nothing is queued: the job commands push 0, NSWaitDone 1.

enum class JobMode {
  Wait,   // queue the job and wait until it has ended
  Queue,  // queue the job and return at once
};

// A command given fewer arguments than it takes pops what there is and returns 0, changing
// nothing.

// NSGet / NSGetAsync: pops one text (unused); the latest status, or 1/0 for queued. NSGet
// tells NSGetError how that report ended.
int GetCommand(JobMode mode);

// NSPut / NSPutAsync: pops one text (unused); clears the status and its outcome.
int PutCommand(JobMode mode);

// NSPost / NSPostAsync: pops the URL and the event text and reports them. A URL
// longer than 511 bytes as requested, or (Unicode builds) with a non-ASCII host name,
// is refused: 0, nothing sent; the event text is popped all the same. A report refused
// (that URL, reports off, after NSWaitDone) tells NSGetError its reason; NSPost tells it how
// its own report ended.
int PostCommand(JobMode mode);

// NSWaitDone: pops the time limit in milliseconds (-1: none) and stops the worker;
// 1 when it ended in time, 0 when it had to be terminated.
int WaitDoneCommand();

// NSEnabled: pops nothing; 1 when reports are on, 0 when off.
int EnabledCommand();

// NSGetError: pops nothing; how the report whose status the script was given last ended
// (report_outcome.h), or why the latest report was refused: a word, a space and a decimal
// number ("none 0" before any).
constexpr unsigned kErrorTextSize = 32;
void GetErrorCommand(char (&text)[kErrorTextSize]);
