#include "plugin/job_commands.h"

#include <cstdlib>
#include <new>

#include "nsis/include/pluginapi.h"
#include "report/report_job.h"
#include "worker/jobs.h"
#include "worker/worker.h"

namespace {

constexpr std::size_t kShortTextSize = 512;
constexpr std::size_t kLongTextSize = 1024;
constexpr std::size_t kTimeoutChars = 128;

// A zero-filled buffer holding the next stack entry (empty when the stack is empty).
// Without memory the entry is still taken off, so the stack stays as the script expects.
char* PopIntoNewBuffer(std::size_t size) {
  auto* buffer = static_cast<char*>(std::calloc(size, 1));
  popstringA(buffer, buffer ? size : 0);
  return buffer;
}

int Dispatch(JobMode mode, JobProc job, void* argument, JobArgumentRelease release) {
  if (!argument) return 0;
  return mode == JobMode::Wait ? RunJobSync(job, argument, release)
                               : PostJobAsync(job, argument, release);
}

}  // namespace

int GetCommand(JobMode mode) {
  return Dispatch(mode, GetJob, PopIntoNewBuffer(kShortTextSize), ReleaseJobBuffer);
}

int PutCommand(JobMode mode) {
  return Dispatch(mode, PutJob, PopIntoNewBuffer(kLongTextSize), ReleaseJobBuffer);
}

int PostCommand(JobMode mode) {
  char* url = PopIntoNewBuffer(kShortTextSize);
  char* eventText = PopIntoNewBuffer(kLongTextSize);
  auto* args = (url && eventText) ? new (std::nothrow) ReportJobArgs{url, eventText} : nullptr;
  if (!args) {
    std::free(url);
    std::free(eventText);
    return 0;
  }
  return Dispatch(mode, ReportJob, args, ReleaseReportJobArgs);
}

int WaitDoneCommand() {
  char timeoutText[kTimeoutChars + 1] = {};  // the extra byte terminates a 128-character text
  popstringn(timeoutText, kTimeoutChars);
  // Parsed as atoi does, but with a defined result for out-of-range numbers.
  const long timeoutMs = std::strtol(timeoutText, nullptr, 10);
  return StopWorker(static_cast<DWORD>(timeoutMs)) ? 1 : 0;
}
