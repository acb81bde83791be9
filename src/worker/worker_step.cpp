#include "worker/worker_step.h"

WorkerStep NextWorkerStep(std::optional<uint32_t> msUntilRetry, bool messageQueued,
                          bool stopRequested, bool unloading) {
  if (msUntilRetry && unloading) return {WorkerAction::DropRetries};
  if (msUntilRetry == 0u) return {WorkerAction::RunRetry};
  if (messageQueued) return {WorkerAction::RunQueued};
  if (msUntilRetry) return {WorkerAction::Wait, *msUntilRetry};
  if (stopRequested) return {WorkerAction::End};
  return {WorkerAction::Wait, kWaitWithoutLimit};
}
