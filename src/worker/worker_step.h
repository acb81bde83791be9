#pragma once

// What the worker does next. Pure: the worker loop passes in what it sees and carries
// the step out, so the order of retries, queued jobs, stops and unloading is decided here.

#include <cstdint>
#include <optional>

// The wait without a time limit (INFINITE).
constexpr uint32_t kWaitWithoutLimit = 0xFFFFFFFF;

enum class WorkerAction {
  RunRetry,     // the due retry, before the next queued job
  RunQueued,    // the next queued message
  DropRetries,  // every waiting retry is released unsent: the host unloads, or none can end before the stop's limit
  Wait,         // until a message, the stop, the unload or `waitMs`
  End,          // stopped, nothing queued and no retry left
};

struct WorkerStep {
  WorkerAction action;
  uint32_t waitMs = 0;  // Wait only; kWaitWithoutLimit for none
};

// What the worker sees, as tick counts.
struct WorkerView {
  uint32_t now = 0;
  std::optional<uint32_t> retryDueTick;  // the earliest waiting retry's, nullopt when none waits
  std::optional<uint32_t> queuedTick;    // when the next queued message was queued, nullopt when none
  bool stopRequested = false;
  bool unloading = false;
  bool retryHoldsStop = false;  // a waiting retry may still end before the stop's limit (always without one)
};

// A due retry goes ahead of the next queued job only when it fell due before that job was
// queued: a synchronous caller then waits for the jobs queued before it and the retries
// already due, never for retries that fall due while it waits.
WorkerStep NextWorkerStep(const WorkerView& view);

// Whether a retry due at `dueTick` may still end before a stop's deadline: only when it falls
// due before it and its last attempt did not find the network missing, which another attempt
// within seconds would find again.
bool RetryHoldsStop(uint32_t dueTick, bool noNetwork, uint32_t stopDeadlineTick);
