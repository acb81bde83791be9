#include "worker/worker_step.h"

#include <gtest/gtest.h>

namespace {

constexpr std::optional<uint32_t> kNone;

// Ticks seen at 1000 unless the row says otherwise; the last rows cross the counter's wrap.
TEST(NextWorkerStep, RetriesDueBeforeAJobWasQueuedGoFirstThenTheQueueThenWaitBeforeEnding) {
  const struct {
    std::optional<uint32_t> retryDue, queued;
    bool stopRequested, unloading;
    WorkerAction action;
    uint32_t waitMs;
    uint32_t now = 1000;
    bool retryHoldsStop = false;
  } cases[] = {
      {1000, 1000, false, false, WorkerAction::RunRetry, 0},
      {900, 950, false, false, WorkerAction::RunRetry, 0},
      {990, 950, false, false, WorkerAction::RunQueued, 0},  // the job was queued first
      {1000, kNone, true, false, WorkerAction::RunRetry, 0},
      {1250, 950, false, false, WorkerAction::RunQueued, 0},
      {kNone, 950, true, false, WorkerAction::RunQueued, 0},
      {kNone, 950, true, true, WorkerAction::RunQueued, 0},
      {1250, kNone, false, false, WorkerAction::Wait, 250},
      {1250, kNone, true, false, WorkerAction::Wait, 250, 1000, true},
      {1250, kNone, true, false, WorkerAction::DropRetries, 0},  // none can end before the stop's limit
      {1250, 950, true, false, WorkerAction::RunQueued, 0},
      {kNone, kNone, false, false, WorkerAction::Wait, kWaitWithoutLimit},
      {kNone, kNone, true, false, WorkerAction::End, 0},
      {1000, 950, true, true, WorkerAction::DropRetries, 0},
      {1250, kNone, false, true, WorkerAction::DropRetries, 0},
      {kNone, kNone, true, true, WorkerAction::End, 0},
      {0xFFFFFFF0, 0xFFFFFFF8, false, false, WorkerAction::RunRetry, 0, 5},
      {0xFFFFFFFC, 0xFFFFFFF8, false, false, WorkerAction::RunQueued, 0, 5},
      {0xFFFFFFF0, 0x8, false, false, WorkerAction::RunRetry, 0, 0x10},  // due before the wrap, queued after
      {0x10, kNone, false, false, WorkerAction::Wait, 32, 0xFFFFFFF0},
  };
  for (const auto& c : cases) {
    const WorkerStep step = NextWorkerStep({c.now, c.retryDue, c.queued, c.stopRequested, c.unloading, c.retryHoldsStop});
    const auto row = ::testing::Message() << c.retryDue.value_or(0) << " " << c.queued.value_or(0) << " "
                                          << c.stopRequested << c.unloading << c.retryHoldsStop;
    EXPECT_EQ(step.action, c.action) << row;
    EXPECT_EQ(step.waitMs, c.waitMs) << row;
  }
}

TEST(RetryHoldsStop, OnlyARetryDueBeforeTheDeadlineWhoseNetworkWasThere) {
  EXPECT_TRUE(RetryHoldsStop(2999, false, 3000));
  EXPECT_FALSE(RetryHoldsStop(3000, false, 3000));
  EXPECT_FALSE(RetryHoldsStop(2999, true, 3000));
  EXPECT_TRUE(RetryHoldsStop(0xFFFFFFF0, false, 0x10));  // across the wrap
  EXPECT_FALSE(RetryHoldsStop(0x10, false, 0xFFFFFFF0));
}

}  // namespace
