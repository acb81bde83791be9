#include "lifetime/release_rules.h"

// A worker still running may start or give up a request at any time, so it is never waited
// for here: its own reference keeps the module until it ends, and the pin beyond that.
ReleaseStep NextReleaseStep(const ReleaseFacts& facts) {
  if (!facts.workerEnded) return ReleaseStep::Pin;
  if (facts.requestsOutstanding) return facts.boundPassed ? ReleaseStep::Pin : ReleaseStep::AwaitRequests;
  if (facts.callbacksInside > 0) return facts.boundPassed ? ReleaseStep::Pin : ReleaseStep::AwaitCallbacks;
  return ReleaseStep::LetGo;
}
