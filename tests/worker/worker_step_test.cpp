#include "worker/worker_step.h"

#include <gtest/gtest.h>

namespace {

constexpr std::optional<uint32_t> kNoRetry;

TEST(NextWorkerStep, DueRetriesFirstThenTheQueueThenWaitForTheNextRetryBeforeEnding) {
  const struct {
    std::optional<uint32_t> msUntilRetry;
    bool messageQueued, stopRequested, unloading;
    WorkerAction action;
    uint32_t waitMs;
  } cases[] = {
      {0, true, false, false, WorkerAction::RunRetry, 0},
      {0, false, true, false, WorkerAction::RunRetry, 0},
      {250, true, false, false, WorkerAction::RunQueued, 0},
      {kNoRetry, true, true, false, WorkerAction::RunQueued, 0},
      {kNoRetry, true, true, true, WorkerAction::RunQueued, 0},
      {250, false, false, false, WorkerAction::Wait, 250},
      {250, false, true, false, WorkerAction::Wait, 250},
      {kNoRetry, false, false, false, WorkerAction::Wait, kWaitWithoutLimit},
      {kNoRetry, false, true, false, WorkerAction::End, 0},
      {0, true, true, true, WorkerAction::DropRetries, 0},
      {250, false, false, true, WorkerAction::DropRetries, 0},
      {kNoRetry, false, true, true, WorkerAction::End, 0},
  };
  for (const auto& c : cases) {
    const WorkerStep step = NextWorkerStep(c.msUntilRetry, c.messageQueued, c.stopRequested, c.unloading);
    EXPECT_EQ(step.action, c.action) << c.msUntilRetry.value_or(-1) << c.messageQueued << c.stopRequested
                                     << c.unloading;
    EXPECT_EQ(step.waitMs, c.waitMs) << c.msUntilRetry.value_or(-1);
  }
}

}  // namespace
