#include "worker/worker_step.h"

#include "common/ticks.h"

WorkerStep NextWorkerStep(const WorkerView& view) {
  const std::optional<uint32_t>& due = view.retryDueTick;
  if (due && view.unloading) return {WorkerAction::DropRetries};
  const bool retryDue = due && TicksFrom(*due, view.now) >= 0;
  if (retryDue && !(view.queuedTick && TicksFrom(*due, *view.queuedTick) < 0)) return {WorkerAction::RunRetry};
  if (view.queuedTick) return {WorkerAction::RunQueued};
  if (due && view.stopRequested && !view.retryHoldsStop) return {WorkerAction::DropRetries};
  if (due) return {WorkerAction::Wait, static_cast<uint32_t>(TicksFrom(view.now, *due))};
  if (view.stopRequested) return {WorkerAction::End};
  return {WorkerAction::Wait, kWaitWithoutLimit};
}

bool RetryHoldsStop(uint32_t dueTick, bool noNetwork, uint32_t stopDeadlineTick) {
  return !noNetwork && TicksFrom(dueTick, stopDeadlineTick) > 0;
}
