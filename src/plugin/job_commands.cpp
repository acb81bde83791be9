#include "plugin/job_commands.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "common/unix_time.h"
#include "http/outcome_rules.h"
#include "nsis/include/pluginapi.h"
#include "optout/optout_settings.h"
#include "plugin/detail_commands.h"
#include "plugin/format_command.h"
#include "plugin/member_commands.h"
#include "report/report_job.h"
#include "report/report_outcome.h"
#include "report/report_tally.h"
#include "text/format_text.h"
#include "text/url_encoding.h"
#include "worker/jobs.h"
#include "worker/worker.h"

namespace {

constexpr std::size_t kShortTextSize = 512;
constexpr std::size_t kLongTextSize = 1024;
constexpr std::size_t kTimeoutChars = 128;

struct FreeBuffer {
  void operator()(char* buffer) const { std::free(buffer); }
};
using Buffer = std::unique_ptr<char, FreeBuffer>;

// A zero-filled buffer holding the next stack entry, a longer text cut to fit. Without
// memory the entry is still taken off, so the stack stays as the script expects.
Buffer PopIntoNewBuffer(std::size_t size, Traced traced, Popped& popped) {
  Buffer buffer(static_cast<char*>(std::calloc(size, 1)));
  popped = PopArgument(buffer.get(), buffer ? size : 0, traced);
  return buffer;
}

// The URL the report goes to, or null when it must not be sent: empty, or cut, since a cut
// URL would name another address.
//
// Unicode builds: the popped UTF-8 URL's non-ASCII characters are percent-encoded for
// the request line (/dev/ü is requested as /dev/%C3%BC); a non-ASCII host name would
// need IDNA and is refused. The 511-byte limit applies to the URL as requested, after
// the encoding: that is the text the server receives and the HTTP client's buffers
// hold, the same rule as the ANSI build's (which sends the popped bytes), and for an
// ASCII URL the same as its popped length. Escapes the script wrote go out as written.
Buffer UrlToRequest(Buffer popped, Popped how) {
  if (how != Popped::Whole || !popped || popped.get()[0] == '\0') return nullptr;
#ifdef UNICODE
  const std::string encoded = PercentEncodeNonAscii(popped.get());
  if (!UrlAuthorityIsAscii(popped.get()) || encoded.size() >= kShortTextSize) return nullptr;
  Buffer url(static_cast<char*>(std::calloc(encoded.size() + 1, 1)));
  if (url) std::memcpy(url.get(), encoded.data(), encoded.size());
  return url;
#else
  return popped;
#endif
}

// A job waited for tells NSGetError how the report whose status it returns ended: the job's
// own report, or the latest one for NSGet; after NSWaitDone, that reporting has ended. A job
// that could not be queued for want of memory changes nothing.
int Dispatch(JobMode mode, JobProc job, void* argument, JobArgumentRelease release) {
  if (!ReportsEnabled()) {
    release(argument);
    return 0;
  }
  if (mode == JobMode::Queue) return PostJobAsync(job, argument, release);
  if (WorkerStopRequested()) {
    release(argument);
    TellOutcome({OutcomeWord::Stopped, 0});
    return 0;
  }
  Outcome outcome = ToldOutcome();
  const int status = RunJobSync(job, argument, release, &outcome);
  TellOutcome(outcome);
  return status;
}

// A report the command does not queue: the tally counts it as failed at once, unless the
// machine turned reports off, which is no failure, or NSWaitDone gave the run's final count
// already; with a word, NSGetError and the trace tell why (None: out of memory, told as such
// already).
[[gnu::noinline]] int Refuse(OutcomeWord word, const char* reason = nullptr) {
  if (word != OutcomeWord::None) RefuseReport(word, 0, reason);
  if (word != OutcomeWord::Off && !WorkerStopRequested()) {
    CountReportAsked();
    CountReportEnded(false);
  }
  return 0;
}

}  // namespace

int GetCommand(JobMode mode) {
  Popped popped;
  Buffer unused = PopIntoNewBuffer(kShortTextSize, Traced::Whole, popped);
  if (popped == Popped::Missing || !unused) return 0;
  return Dispatch(mode, GetJob, unused.release(), ReleaseJobBuffer);
}

int PutCommand(JobMode mode) {
  Popped popped;
  Buffer unused = PopIntoNewBuffer(kLongTextSize, Traced::Whole, popped);
  if (popped == Popped::Missing || !unused) return 0;
  return Dispatch(mode, PutJob, unused.release(), ReleaseJobBuffer);
}

int PostCommand(JobMode mode) {
  Popped urlPopped, eventPopped;
  Buffer popped = PopIntoNewBuffer(kShortTextSize, Traced::AsUrl, urlPopped);
  Buffer eventText = PopIntoNewBuffer(kLongTextSize, Traced::Whole, eventPopped);
  if (eventPopped == Popped::Missing) return 0;
  // Refused without an attempt: NSGetError tells why.
  if (!ReportsEnabled()) return Refuse(OutcomeWord::Off);
  if (WorkerStopRequested()) return Refuse(OutcomeWord::Stopped);
  if (const char* refusal = ReportRefusal(popped.get())) return Refuse(OutcomeWord::Invalid, refusal);
  // Until its job says how it ended, a report waited for that fails for want of memory says so.
  if (mode == JobMode::Wait) TellOutcome({OutcomeWord::Other, ERROR_NOT_ENOUGH_MEMORY});
  const bool urlBuffer = popped != nullptr;
  Buffer url = UrlToRequest(std::move(popped), urlPopped);
  if (!url || !eventText) {
    if (urlBuffer && !url) return Refuse(OutcomeWord::Url);  // empty, too long, or a host it cannot send
    return Refuse(OutcomeWord::None);
  }
  AddedMembers added = CaptureAddedMembers();
  added.details = CaptureDetails();
  auto* args = new (std::nothrow) ReportJobArgs{url.get(), eventText.get(), mode == JobMode::Queue,
                                                std::move(added), CaptureReportShape(), UnixTimeMs(), 0, {}, {}, false};
  if (!args) return Refuse(OutcomeWord::None);
  url.release();
  eventText.release();
  CountReportAsked();  // from here on the record counts how it ends, unqueued included
  return Dispatch(mode, ReportJob, args, ReleaseReportJobArgs);
}

int WaitDoneCommand() {
  char timeoutText[kTimeoutChars + 1] = {};  // the extra byte terminates a 128-character text
  if (!PopArgumentBounded(timeoutText, kTimeoutChars)) return 0;
  if (!ReportsEnabled()) return 1;  // no worker, nothing queued: done at once
  // Parsed as atoi does, but with a defined result for out-of-range numbers.
  const long timeoutMs = std::strtol(timeoutText, nullptr, 10);
  return StopWorker(static_cast<DWORD>(timeoutMs)) ? 1 : 0;
}

int EnabledCommand() { return ReportsEnabled() ? 1 : 0; }

void GetErrorCommand(char (&text)[kErrorTextSize]) {
  const Outcome outcome = ToldOutcome();
  FormatText(text, sizeof text, "%s %lu", OutcomeWordText(outcome.word), static_cast<unsigned long>(outcome.code));
}
