#include "worker/retry_list.h"

#include <algorithm>
#include <new>

#include "common/deadline.h"
#include "worker/worker_step.h"

namespace {

template <typename Jobs>
auto Earliest(Jobs& jobs) {
  return std::min_element(jobs.begin(), jobs.end(), [](const DeferredJob& a, const DeferredJob& b) {
    return TicksFrom(b.dueTick, a.dueTick) < 0;
  });
}

}  // namespace

void RetryList::Add(const DeferredJob& job) noexcept {
  try {
    m_jobs.push_back(job);
  } catch (const std::bad_alloc&) {
    job.release(job.argument);
  }
}

std::optional<DWORD> RetryList::NextDueTick() const {
  if (m_jobs.empty()) return std::nullopt;
  return Earliest(m_jobs)->dueTick;
}

bool RetryList::HoldsStop(DWORD stopDeadlineTick) const {
  for (const DeferredJob& job : m_jobs)
    if (RetryHoldsStop(job.dueTick, job.noNetwork, stopDeadlineTick)) return true;
  return false;
}

std::optional<DeferredJob> RetryList::TakeDue(DWORD now) {
  const auto earliest = Earliest(m_jobs);
  if (earliest == m_jobs.end() || TicksFrom(now, earliest->dueTick) > 0) return std::nullopt;
  const DeferredJob job = *earliest;
  m_jobs.erase(earliest);
  return job;
}

void RetryList::ReleaseAll() noexcept {
  for (const DeferredJob& job : m_jobs) job.release(job.argument);
  m_jobs.clear();
}
