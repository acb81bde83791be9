#include "plugin/job_commands.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "nsis/include/pluginapi.h"
#include "optout/optout_settings.h"
#include "plugin/member_commands.h"
#include "report/report_job.h"
#include "text/url_encoding.h"
#include "worker/jobs.h"
#include "worker/worker.h"

namespace {

constexpr std::size_t kShortTextSize = 512;
constexpr std::size_t kLongTextSize = 1024;
constexpr std::size_t kTimeoutChars = 128;

// A zero-filled buffer holding the next stack entry (empty when the stack is empty),
// a longer text cut to fit; `whole` tells whether it fitted. Without memory the entry
// is still taken off, so the stack stays as the script expects.
char* PopIntoNewBuffer(std::size_t size, bool* whole = nullptr) {
  auto* buffer = static_cast<char*>(std::calloc(size, 1));
  const bool fitted = PopArgument(buffer, buffer ? size : 0);
  if (whole) *whole = fitted && buffer;
  return buffer;
}

// The URL the report goes to, or null when it must not be sent. A cut URL would name
// another address, so one longer than its buffer is refused, never cut.
//
// Unicode builds: the popped UTF-8 URL's non-ASCII characters are percent-encoded for
// the request line (/dev/ü is requested as /dev/%C3%BC); a non-ASCII host name would
// need IDNA and is refused. The 511-byte limit applies to the URL as requested, after
// the encoding: that is the text the server receives and the HTTP client's buffers
// hold, the same rule as the ANSI build's (which sends the popped bytes), and for an
// ASCII URL the same as its popped length. Escapes the script wrote go out as written.
// Takes ownership of `popped`.
char* UrlToRequest(char* popped, bool whole) {
  if (!whole) {
    std::free(popped);
    return nullptr;
  }
#ifdef UNICODE
  char* url = nullptr;
  const std::string encoded = PercentEncodeNonAscii(popped);
  if (UrlAuthorityIsAscii(popped) && encoded.size() < kShortTextSize) {
    url = static_cast<char*>(std::calloc(encoded.size() + 1, 1));
    if (url) std::memcpy(url, encoded.data(), encoded.size());
  }
  std::free(popped);
  return url;
#else
  return popped;
#endif
}

int Dispatch(JobMode mode, JobProc job, void* argument, JobArgumentRelease release) {
  if (!argument) return 0;
  if (!ReportsEnabled()) {
    release(argument);
    return 0;
  }
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
  bool wholeUrl = false;
  char* popped = PopIntoNewBuffer(kShortTextSize, &wholeUrl);
  char* eventText = PopIntoNewBuffer(kLongTextSize);
  char* url = UrlToRequest(popped, wholeUrl);
  const bool retried = mode == JobMode::Queue;
  auto* args = (url && eventText)
                   ? new (std::nothrow) ReportJobArgs{url, eventText, retried, 0, {}, CaptureAddedMembers()}
                   : nullptr;
  if (!args) {
    std::free(url);
    std::free(eventText);
    return 0;
  }
  return Dispatch(mode, ReportJob, args, ReleaseReportJobArgs);
}

int WaitDoneCommand() {
  char timeoutText[kTimeoutChars + 1] = {};  // the extra byte terminates a 128-character text
  PopArgumentBounded(timeoutText, kTimeoutChars);
  if (!ReportsEnabled()) return 1;  // no worker, nothing queued: done at once
  // Parsed as atoi does, but with a defined result for out-of-range numbers.
  const long timeoutMs = std::strtol(timeoutText, nullptr, 10);
  return StopWorker(static_cast<DWORD>(timeoutMs)) ? 1 : 0;
}

int EnabledCommand() { return ReportsEnabled() ? 1 : 0; }

bool JobsAccepted() { return ReportsEnabled() && !WorkerStopRequested(); }
