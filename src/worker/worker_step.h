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
  DropRetries,  // the host unloads: every waiting retry is released unsent
  Wait,         // until a message, the stop, the unload or `waitMs`
  End,          // stopped, nothing queued and no retry left
};

struct WorkerStep {
  WorkerAction action;
  uint32_t waitMs = 0;  // Wait only; kWaitWithoutLimit for none
};

// `msUntilRetry`: the time until the earliest retry is due (0: due now), nullopt when
// none waits.
WorkerStep NextWorkerStep(std::optional<uint32_t> msUntilRetry, bool messageQueued,
                          bool stopRequested, bool unloading);
