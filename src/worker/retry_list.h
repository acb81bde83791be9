#pragma once

// Jobs waiting to run again, each with the tick it is due. The worker thread alone
// touches the list.

#include <windows.h>

#include <optional>
#include <vector>

#include "worker/job_types.h"

struct DeferredJob {
  DWORD dueTick;
  JobProc procedure;
  void* argument;
  JobArgumentRelease release;
  bool noNetwork;  // its last attempt found no network (RetryHoldsStop)
};

class RetryList {
 public:
  // Keeps the job; without memory for it, releases its argument at once.
  void Add(const DeferredJob& job) noexcept;

  // The tick the earliest job is due at, nullopt when none waits.
  std::optional<DWORD> NextDueTick() const;

  // Whether any job may still end before a stop's deadline (RetryHoldsStop).
  bool HoldsStop(DWORD stopDeadlineTick) const;

  // Takes out the earliest job if it is due; among jobs due together, the first added.
  std::optional<DeferredJob> TakeDue(DWORD now);

  // Releases every job's argument unrun.
  void ReleaseAll() noexcept;

 private:
  std::vector<DeferredJob> m_jobs;
};
