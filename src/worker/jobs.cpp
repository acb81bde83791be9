#include "worker/jobs.h"

#include <cstdlib>

#include "worker/worker.h"

void ReleaseJobBuffer(void* buffer) { std::free(buffer); }

void WINAPI GetJob(void* buffer) {
  BeginJob();
  ReleaseJobBuffer(buffer);
  CompleteJob();
}

void WINAPI PutJob(void* buffer) {
  BeginJob();
  g_lastStatus.store(0);
  g_lastOutcome = {};
  ReleaseJobBuffer(buffer);
  CompleteJob();
}
