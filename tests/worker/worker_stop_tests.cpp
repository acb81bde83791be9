#include <gtest/gtest.h>

#include "worker/module.h"
#include "worker/worker.h"

namespace {

int g_released = 0;

void WINAPI LongJob(void* argument) {
  BeginJob();
  Sleep(2000);
  delete static_cast<int*>(argument);
  CompleteJob();
}

void Release(void* argument) {
  ++g_released;
  delete static_cast<int*>(argument);
}

// A stop that runs out of time does not kill the worker in the middle of a job: the
// job ends, the worker ends after it, and nothing more is queued in the meantime.
TEST(WorkerStop, TimedOutStopLeavesABusyWorkerToFinish) {
  OnProcessAttach(GetModuleHandleA(nullptr));
  EnsureWorkerStarted();
  ASSERT_EQ(PostJobAsync(LongJob, new int(0), Release), 1);
  Sleep(100);  // the job is running

  const DWORD start = GetTickCount();
  EXPECT_FALSE(StopWorker(0));
  EXPECT_LT(GetTickCount() - start, 500u);

  EXPECT_EQ(RunJobSync(LongJob, new int(0), Release), 0);
  EXPECT_EQ(PostJobAsync(LongJob, new int(0), Release), 0);
  EXPECT_EQ(g_released, 2);
  EXPECT_LT(GetTickCount() - start, 1000u);

  EXPECT_EQ(WaitForSingleObject(g_workerThread.get(), 5000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(g_jobDoneEvent.get(), 0), WAIT_OBJECT_0);
  EXPECT_TRUE(StopWorker(0));
}

}  // namespace
