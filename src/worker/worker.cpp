#include "worker/worker.h"

#include <process.h>

#include <new>
#include <optional>

#include "lifetime/module_reference.h"
#include "lifetime/module_release.h"
#include "worker/module.h"
#include "worker/retry_list.h"
#include "worker/worker_step.h"

UniqueHandle g_jobDoneEvent;
UniqueHandle g_cancelEvent;
UniqueHandle g_workerThread;
DWORD g_workerThreadId = 0;
std::atomic<std::int32_t> g_lastStatus{0};
Outcome g_lastOutcome;

namespace {

constexpr DWORD kPostPauseMs = 10;
constexpr DWORD kWorkerStartLimitMs = 5000;
// At unload, what is queued and in flight gets this long to finish; the process ends
// right after, so whatever is left then would die with it anyway.
constexpr DWORD kUnloadFlushMs = 1000;
// Once cancelled, a job ends at once; the worker then only runs through its queue.
constexpr DWORD kUnloadStopLimitMs = 500;

// Signalled by the worker once its message queue exists.
UniqueHandle g_workerReadyEvent;
// The stop request: an event rather than a message, so that a full queue cannot lose it.
UniqueHandle g_stopEvent;
// The stop's deadline tick, written before the event is set, and by each later request; its
// low bit set marks a limit (a deadline 1 ms later changes nothing), 0 none.
std::atomic<DWORD> g_stopDeadline{0};
// Signalled once the host unloads: no job waits to run again from then on.
UniqueHandle g_unloadEvent;

RetryList g_retries;  // worker thread only

// Set by the first stop request; from then on no job is queued.
bool g_stopRequested = false;  // host's thread only

// First runs end in post order, so the n-th job to end is the n-th job queued: a
// synchronous command waits until the count of ended jobs reaches its own number.
std::uint32_t g_jobsQueued = 0;  // host's thread only
std::atomic<std::uint32_t> g_jobsEnded{0};
// g_lastStatus and g_lastOutcome as the latest first run left them: a deferred run that
// ends while a synchronous caller wakes up must not change what that caller returns.
// Written before g_jobsEnded counts the job, read once it has; no job ends meanwhile, since
// the caller's was the last one queued.
std::int32_t g_endedJobStatus = 0;
Outcome g_endedJobOutcome;

bool HasEnded(std::uint32_t jobNumber) {
  return static_cast<std::int32_t>(g_jobsEnded.load() - jobNumber) >= 0;
}

bool IsSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

// What one WM_RUN_JOB message carries: the job and when it was queued, which decides
// whether a retry that fell due meanwhile goes first.
struct QueuedJob {
  JobProc procedure;
  void* argument;
  DWORD queuedTick;
};

// When the next queued message was queued; a message that is not a job counts as queued now.
std::optional<DWORD> NextQueuedTick(DWORD now) {
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) return std::nullopt;
  if (message.message != WM_RUN_JOB) return now;
  return reinterpret_cast<const QueuedJob*>(message.wParam)->queuedTick;
}

void RunQueuedMessage() {
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return;
  TranslateMessage(&message);
  if (message.message == WM_RUN_JOB) {
    const QueuedJob job = *reinterpret_cast<const QueuedJob*>(message.wParam);
    delete reinterpret_cast<const QueuedJob*>(message.wParam);
    job.procedure(job.argument);
  } else {
    DispatchMessageA(&message);
  }
}

// Sleeps until a message comes, the time passes, the stop request comes (while not yet
// seen: it stays signalled) or the unload comes (while retries wait for it).
bool WaitForWork(DWORD waitMs, bool watchStop, bool watchUnload) {
  HANDLE events[] = {g_unloadEvent.get(), g_stopEvent.get()};  // the first watched ones, from where it starts
  return MsgWaitForMultipleObjectsEx(watchStop + watchUnload, events + !watchUnload, waitMs, QS_ALLPOSTMESSAGE,
                                     MWMO_INPUTAVAILABLE) != WAIT_FAILED;
}

unsigned WINAPI WorkerThreadProc(void* moduleReference) noexcept {
  MSG message;
  // The first call creates the thread's queue; from then on posts to it succeed.
  PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  SetEvent(g_workerReadyEvent.get());

  DWORD exitCode = 0;
  for (bool running = true; running;) {
    const bool stopRequested = IsSet(g_stopEvent.get());
    const DWORD stopDeadline = g_stopDeadline.load();
    const bool unloading = IsSet(g_unloadEvent.get());
    const DWORD now = GetTickCount();
    const std::optional<DWORD> retryDue = g_retries.NextDueTick();
    const bool retryHoldsStop = !(stopDeadline & 1) || g_retries.HoldsStop(stopDeadline);
    const WorkerStep step =
        NextWorkerStep({now, retryDue, NextQueuedTick(now), stopRequested, unloading, retryHoldsStop});
    switch (step.action) {
      case WorkerAction::RunRetry:
        if (const std::optional<DeferredJob> job = g_retries.TakeDue(now)) job->procedure(job->argument);
        break;
      case WorkerAction::RunQueued:
        RunQueuedMessage();
        break;
      case WorkerAction::DropRetries:
        g_retries.ReleaseAll();
        break;
      case WorkerAction::Wait:
        if (!WaitForWork(step.waitMs, !stopRequested, retryDue && !unloading)) {
          g_retries.ReleaseAll();
          exitCode = static_cast<DWORD>(-1);
          running = false;
        }
        break;
      case WorkerAction::End:
        running = false;
        break;
    }
  }
  KeepModuleForWinInetAtWorkerEnd();
  ExitThreadReleasingModule(static_cast<HMODULE>(moduleReference), exitCode);
}

bool PostJob(JobProc job, void* argument, JobArgumentRelease release) {
  auto* queued = g_stopRequested ? nullptr : new (std::nothrow) QueuedJob{job, argument, GetTickCount()};
  if (!queued || !PostThreadMessageA(g_workerThreadId, WM_RUN_JOB, reinterpret_cast<WPARAM>(queued), 0)) {
    delete queued;
    release(argument);
    return false;
  }
  ++g_jobsQueued;
  return true;
}

// No polling: every wake-up is one job ending. The event is reset before the count
// is read again, so the own job's signal can never fall between the two.
// False only when the wait itself failed.
bool WaitForJob(std::uint32_t jobNumber) {
  while (!HasEnded(jobNumber)) {
    if (WaitForSingleObject(g_jobDoneEvent.get(), INFINITE) != WAIT_OBJECT_0) return false;
    if (HasEnded(jobNumber)) return true;
    ResetEvent(g_jobDoneEvent.get());
  }
  return true;
}

}  // namespace

void EnsureWorkerStarted() {
  if (g_workerThread) return;
  // The first resets itself once a wait saw it; the others stay set until reset.
  UniqueHandle* const events[] = {&g_workerReadyEvent, &g_stopEvent, &g_cancelEvent, &g_unloadEvent};
  for (int i = 0; i < 4; ++i) {
    if (!*events[i]) events[i]->reset(CreateEventA(nullptr, i > 0, FALSE, nullptr));
    if (!*events[i]) return;
  }

  HMODULE reference = AcquireModuleReference();
  unsigned threadId = 0;
  const auto thread = reinterpret_cast<HANDLE>(
      _beginthreadex(nullptr, 0, WorkerThreadProc, reference, 0, &threadId));
  if (!thread) {
    if (reference) FreeLibrary(reference);
    return;
  }
  g_workerThread.reset(thread);
  g_workerThreadId = threadId;
  HANDLE started[] = {g_workerReadyEvent.get(), thread};
  WaitForMultipleObjects(2, started, FALSE, kWorkerStartLimitMs);
}

int RunJobSync(JobProc job, void* argument, JobArgumentRelease release, Outcome* outcome) {
  Sleep(kPostPauseMs);
  ResetEvent(g_jobDoneEvent.get());
  if (!PostJob(job, argument, release)) {
    SetEvent(g_jobDoneEvent.get());
    return 0;
  }
  if (!WaitForJob(g_jobsQueued)) return 0;
  if (outcome) *outcome = g_endedJobOutcome;
  return g_endedJobStatus;
}

int PostJobAsync(JobProc job, void* argument, JobArgumentRelease release) {
  Sleep(kPostPauseMs);
  return PostJob(job, argument, release) ? 1 : 0;
}

// A worker that does not end in time is left to finish on its own rather than
// terminated: killing a thread that holds a lock (the loader's while it exits, the
// heap's while it allocates) hangs the installer later. It keeps the module loaded
// while it runs, and the process's end stops it.
bool StopWorker(DWORD timeoutMs) {
  g_stopRequested = true;
  // A limit over 2^31 ms (24 days) reads as one already past: no retry waits that long anyway.
  g_stopDeadline.store(timeoutMs == INFINITE ? 0 : (GetTickCount() + timeoutMs) | 1);
  SetEvent(g_stopEvent.get());
  return WaitForSingleObject(g_workerThread.get(), timeoutMs) == WAIT_OBJECT_0;
}

bool WorkerStopRequested() { return g_stopRequested; }

// The stop comes with the unload, so the flush is the worker's own end: its queue run
// dry, and any retry dropped.
void EndWorkerForUnload() {
  if (!g_workerThread) return;
  SetEvent(g_unloadEvent.get());
  if (StopWorker(kUnloadFlushMs)) return;
  SetEvent(g_cancelEvent.get());
  StopWorker(kUnloadStopLimitMs);
}

void DeferJob(DWORD waitMs, JobProc job, void* argument, JobArgumentRelease release, bool noNetwork) {
  g_retries.Add({GetTickCount() + waitMs, job, argument, release, noNetwork});
}

void BeginJob() { ResetEvent(g_jobDoneEvent.get()); }

void CompleteJob() {
  g_endedJobStatus = g_lastStatus.load();
  g_endedJobOutcome = g_lastOutcome;
  g_jobsEnded.fetch_add(1);
  SetEvent(g_jobDoneEvent.get());
}
