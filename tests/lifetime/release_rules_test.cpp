#include "lifetime/release_rules.h"

#include <gtest/gtest.h>

namespace {

// (worker ended, requests outstanding, callbacks inside, bound passed): the host may unmap
// the module only when nothing can still run its code.
TEST(ReleaseRules, TheModuleGoesOnlyWhenNothingIsOutstandingElseItIsPinned) {
  const struct {
    ReleaseFacts facts;
    ReleaseStep step;
  } cases[] = {
      {{true, false, 0, false}, ReleaseStep::LetGo},
      {{true, false, 0, true}, ReleaseStep::LetGo},
      {{true, false, 1, false}, ReleaseStep::AwaitCallbacks},  // a callback running
      {{true, false, 2, true}, ReleaseStep::Pin},
      {{true, true, 0, false}, ReleaseStep::AwaitRequests},  // a request that can still call back
      {{true, true, 1, true}, ReleaseStep::Pin},
      {{false, false, 0, false}, ReleaseStep::Pin},  // a worker still running
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NextReleaseStep(c.facts), c.step) << c.facts.workerEnded << c.facts.requestsOutstanding
                                                << c.facts.callbacksInside << c.facts.boundPassed;
  }
}

}  // namespace
