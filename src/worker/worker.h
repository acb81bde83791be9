#pragma once

// The single background worker: one thread with one message queue that runs jobs
// one at a time, in the order they were posted. A job may ask to run again later
// (DeferJob): it then waits aside, and the jobs behind it run meanwhile; once due, it
// runs before the jobs queued after it fell due (see NextWorkerStep). Commands post from
// the host's thread; everything here except the jobs and DeferJob runs on the host's thread.

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "common/outcome.h"
#include "common/unique_handle.h"
#include "worker/job_types.h"

// Thread message carrying one job: wParam the worker's record of it, freed as it runs.
constexpr UINT WM_RUN_JOB = WM_USER + 16;

// Manual-reset, signalled at rest; reset while a job runs.
extern UniqueHandle g_jobDoneEvent;
// Manual-reset, signalled once at the host's unload: jobs give up what they wait for.
extern UniqueHandle g_cancelEvent;
extern UniqueHandle g_workerThread;
extern DWORD g_workerThreadId;
// Status left by the latest status-storing run of a job, deferred runs included; 0 at load.
extern std::atomic<std::int32_t> g_lastStatus;
// Why that run ended, stored with the status; worker thread only.
extern Outcome g_lastOutcome;

// Starts the worker unless the module already holds one, and waits (bounded) until
// its queue exists, so that no post or stop request made afterwards is lost.
void EnsureWorkerStarted();

// Queues the job and waits until that very job has ended, never for a deferred one;
// returns g_lastStatus as that job left it, and `outcome` receives g_lastOutcome with it;
// 0, and `outcome` untouched, when the job could not be queued.
int RunJobSync(JobProc job, void* argument, JobArgumentRelease release, Outcome* outcome = nullptr);

// Queues the job; 1 when queued, 0 when not.
int PostJobAsync(JobProc job, void* argument, JobArgumentRelease release);

// Asks the worker to end after the jobs already queued and the deferred ones, and
// waits up to `timeoutMs` (INFINITE for no limit); true when it ended. With a limit, once
// nothing is queued or running, the retries that cannot end before it (due after it, or
// after an attempt that found no network) are given up unsent, so that the worker ends at
// once. Either way no job is queued afterwards.
bool StopWorker(DWORD timeoutMs);

// Whether a stop was requested (NSWaitDone, or the host's unload): no job is queued from then on.
bool WorkerStopRequested();

// The host is about to free the module, and the process ends right after; no command
// follows. Deferred jobs are released unrun at once; what is queued and in flight gets
// a flush of at most 1 s; then the rest is given up (g_cancelEvent) and the worker gets
// 0.5 s more to end, so that the host's FreeLibrary unmaps the module and its file can
// be deleted.
void EndWorkerForUnload();

// Worker thread only: runs the job again with `argument` once `waitMs` have passed,
// before the jobs queued from then on; released unrun at the host's unload, or at
// once without memory to keep it. Its first run still ends with CompleteJob; the later
// runs call neither BeginJob nor CompleteJob. `noNetwork`: its last attempt found no
// network, so a stop with a limit gives it up rather than wait for it.
void DeferJob(DWORD waitMs, JobProc job, void* argument, JobArgumentRelease release, bool noNetwork = false);

// First and last steps of a job's first run.
void BeginJob();
void CompleteJob();
