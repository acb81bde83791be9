#pragma once

// The single background worker: one thread with one message queue that runs jobs
// one at a time, in the order they were posted. Commands post from the host's
// thread; everything here except the jobs themselves runs on the host's thread.

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "common/unique_handle.h"

// Thread message carrying one job: wParam the argument, lParam the procedure.
constexpr UINT WM_RUN_JOB = WM_USER + 16;

// A job owns its argument from the moment it is queued and releases it before it
// signals completion.
using JobProc = void(WINAPI*)(void* argument);

// Releases an argument that could not be queued; the job never sees it.
using JobArgumentRelease = void (*)(void* argument);

// Manual-reset, signalled at rest; reset while a job runs.
extern UniqueHandle g_jobDoneEvent;
// Manual-reset, signalled once at the host's unload: jobs give up what they wait for.
extern UniqueHandle g_cancelEvent;
extern UniqueHandle g_workerThread;
extern DWORD g_workerThreadId;
// Status left by the latest status-storing job; 0 at load.
extern std::atomic<std::int32_t> g_lastStatus;

// Starts the worker unless the module already holds one, and waits (bounded) until
// its queue exists, so that no post or stop request made afterwards is lost.
void EnsureWorkerStarted();

// Queues the job and waits until that very job has ended; returns g_lastStatus as it
// left it, or 0 when the job could not be queued.
int RunJobSync(JobProc job, void* argument, JobArgumentRelease release);

// Queues the job; 1 when queued, 0 when not.
int PostJobAsync(JobProc job, void* argument, JobArgumentRelease release);

// Asks the worker to end after the jobs already queued and waits up to `timeoutMs`
// (INFINITE for no limit); true when it ended. Either way no job is queued afterwards.
bool StopWorker(DWORD timeoutMs);

// The host is about to free the module, and the process ends right after; no command
// follows. Jobs waiting to try again give up at once; what is queued and in flight gets
// about 1 s to finish; then the rest is given
// up (g_cancelEvent), and the worker ends (bounded wait), so that the host's FreeLibrary
// unmaps the module and its file can be deleted. Only a thread that WinINet holds beyond
// a cancel keeps the module mapped, through its own module reference.
void EndWorkerForUnload();

// Waits `waitMs` before a job tries again; false when the host is unloading meanwhile
// (or already), and the job should give up.
bool WaitBeforeRetry(DWORD waitMs);

// First and last steps of every job.
void BeginJob();
void CompleteJob();
