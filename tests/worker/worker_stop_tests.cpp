#include <gtest/gtest.h>

#include "worker/module.h"
#include "worker/worker.h"

namespace {

void WINAPI LongJob(void* argument) {
  BeginJob();
  Sleep(3000);
  delete static_cast<int*>(argument);
  CompleteJob();
}

void Release(void* argument) { delete static_cast<int*>(argument); }

// A stop without waiting cuts a running job short.
TEST(WorkerStop, ZeroTimeoutTerminatesABusyWorker) {
  OnProcessAttach(GetModuleHandleA(nullptr));
  EnsureWorkerStarted();
  ASSERT_EQ(PostJobAsync(LongJob, new int(0), Release), 1);
  Sleep(100);  // the job is running

  const DWORD start = GetTickCount();
  EXPECT_FALSE(StopWorker(0));
  EXPECT_LT(GetTickCount() - start, 1000u);
  EXPECT_EQ(WaitForSingleObject(g_workerThread.get(), 1000), WAIT_OBJECT_0);

  // The cut-short job never signals; later synchronous posts fail and do not wait.
  EXPECT_EQ(RunJobSync(LongJob, new int(0), Release), 0);
  EXPECT_TRUE(StopWorker(0));
}

}  // namespace
