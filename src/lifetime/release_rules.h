#pragma once

// Whether the host's FreeLibrary may unmap the module at its unload, decided over what is
// still outstanding. Needs no Windows API: tested natively.

struct ReleaseFacts {
  bool workerEnded;          // the thread that starts requests is gone
  bool requestsOutstanding;  // WinINet may still call back for some request
  long callbacksInside;      // callbacks counted in and not yet counted as left
  bool boundPassed;          // the unload's wait for the last callbacks is over
};

enum class ReleaseStep {
  LetGo,           // nothing can run module code: the host's FreeLibrary unmaps it
  AwaitRequests,   // wait for the last request's closing callback
  AwaitCallbacks,  // wait for the callbacks still inside to leave
  Pin,             // keep the module loaded until the process ends
};

ReleaseStep NextReleaseStep(const ReleaseFacts& facts);
