#include "worker/worker.h"

#include <cstdio>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "worker/jobs.h"
#include "worker/module.h"

namespace {

// What the jobs did, in the order they ran; written on the worker, read by the test
// only after a synchronous job or a stop has ordered it.
std::vector<int> g_ran;
int g_released = 0;

struct StatusJob {
  int status;
  DWORD workMs;
};

void WINAPI RunStatusJob(void* argument) {
  BeginJob();
  auto* job = static_cast<StatusJob*>(argument);
  Sleep(job->workMs);
  g_ran.push_back(job->status);
  g_lastStatus.store(job->status);
  delete job;
  CompleteJob();
}

void ReleaseStatusJob(void* argument) {
  ++g_released;
  delete static_cast<StatusJob*>(argument);
}

// Runs at once and again `retryMs` later, recording its status negated the second time.
struct RetriedJob {
  int status;
  DWORD retryMs;
};

void ReleaseRetriedJob(void* argument) {
  ++g_released;
  delete static_cast<RetriedJob*>(argument);
}

void WINAPI RunRetriedJob(void* argument) {
  auto* job = static_cast<RetriedJob*>(argument);
  if (job->retryMs == 0) {
    g_ran.push_back(-job->status);
    g_lastStatus.store(-job->status);
    delete job;
    return;
  }
  BeginJob();
  g_ran.push_back(job->status);
  g_lastStatus.store(job->status);
  DeferJob(std::exchange(job->retryMs, 0), RunRetriedJob, job, ReleaseRetriedJob);
  CompleteJob();
}

int Retried(int status, DWORD retryMs) {
  return PostJobAsync(RunRetriedJob, new RetriedJob{status, retryMs}, ReleaseRetriedJob);
}

int Sync(int status, DWORD workMs = 0) {
  return RunJobSync(RunStatusJob, new StatusJob{status, workMs}, ReleaseStatusJob);
}

int Async(int status, DWORD workMs = 0) {
  return PostJobAsync(RunStatusJob, new StatusJob{status, workMs}, ReleaseStatusJob);
}

// One worker per process, and it never restarts: the cases below run in order and
// the last one stops it.
class Worker : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OnProcessAttach(GetModuleHandleA(nullptr));
    EnsureWorkerStarted();
  }
  void SetUp() override { g_ran.clear(); }
};

TEST_F(Worker, StartsOnceWithItsQueueReady) {
  const HANDLE first = g_workerThread.get();
  ASSERT_NE(first, nullptr);
  EnsureWorkerStarted();
  EXPECT_EQ(g_workerThread.get(), first);
  EXPECT_EQ(WaitForSingleObject(g_jobDoneEvent.get(), 0), WAIT_OBJECT_0);  // signalled at rest
  EXPECT_EQ(g_lastStatus.load(), 0);
  // The queue exists already: a post right after the start does not fail.
  EXPECT_TRUE(PostThreadMessageA(g_workerThreadId, WM_NULL, 0, 0));
}

TEST_F(Worker, SynchronousJobReturnsItsOwnStatusBehindQueuedJobs) {
  EXPECT_EQ(Async(101, 80), 1);
  EXPECT_EQ(Async(102, 40), 1);
  EXPECT_EQ(Async(103, 0), 1);
  EXPECT_EQ(Sync(200, 20), 200);
  EXPECT_EQ(g_ran, (std::vector<int>{101, 102, 103, 200}));
  EXPECT_EQ(WaitForSingleObject(g_jobDoneEvent.get(), 0), WAIT_OBJECT_0);
}

TEST_F(Worker, ManySynchronousJobsEachSeeTheirOwnStatus) {
  for (int i = 0; i < 20; ++i) {
    Async(1000 + i, i % 3);
    EXPECT_EQ(Sync(i, (i * 7) % 4), i);
  }
  EXPECT_EQ(g_ran.size(), 40u);
}

TEST_F(Worker, GetAndPutJobsReadAndClearTheStatus) {
  EXPECT_EQ(Sync(404), 404);
  EXPECT_EQ(RunJobSync(GetJob, calloc(512, 1), ReleaseJobBuffer), 404);
  EXPECT_EQ(RunJobSync(PutJob, calloc(1024, 1), ReleaseJobBuffer), 0);
  EXPECT_EQ(RunJobSync(GetJob, calloc(512, 1), ReleaseJobBuffer), 0);
  EXPECT_EQ(PostJobAsync(GetJob, calloc(512, 1), ReleaseJobBuffer), 1);
  EXPECT_EQ(RunJobSync(GetJob, calloc(512, 1), ReleaseJobBuffer), 0);
}

// A retry waits aside: the synchronous job behind it runs first, and returns its own
// status though the retry, due meanwhile, runs right after it. A retry goes before the jobs
// queued after it fell due, never before those queued earlier, and retries waiting together
// run in the order they fall due, not the order they were added; the stop waits for the
// retries. Windows caps a queue at 10,000 posted messages (Wine has none): a full queue must
// not lose the stop request, which comes while job 1 still runs with jobs queued behind it.
TEST_F(Worker, StopLetsQueuedJobsAndRetriesFinishThenEveryPostFails) {
  Retried(7, 300);
  EXPECT_EQ(Sync(200, 400), 200);
  Retried(8, 600);
  Retried(10, 400);
  Async(1, 1000);
  Async(2, 0);
  Retried(9, 100);
  int filled = 0;
  while (filled < 10500 && PostThreadMessageA(g_workerThreadId, WM_NULL, 0, 0)) ++filled;
  std::printf("%d more messages queued before a post failed or the count ran out\n", filled);
  EXPECT_TRUE(StopWorker(INFINITE));
  const std::vector<int> ran{7, 200, -7, 8, 10, 1, 2, 9, -10, -8, -9};
  EXPECT_EQ(g_ran, ran);
  EXPECT_TRUE(StopWorker(0));  // already ended

  g_released = 0;
  const DWORD start = GetTickCount();
  EXPECT_EQ(Sync(9), 0);
  EXPECT_EQ(Async(9), 0);
  EXPECT_LT(GetTickCount() - start, 1000u);
  EXPECT_EQ(g_released, 2);  // a job that was not queued is released by its poster
  EXPECT_EQ(g_ran, ran);
  EXPECT_EQ(WaitForSingleObject(g_jobDoneEvent.get(), 0), WAIT_OBJECT_0);
}

}  // namespace
