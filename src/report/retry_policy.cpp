#include "report/retry_policy.h"

#include <algorithm>

#include "common/civil_date.h"
#include "http/outcome_rules.h"
#include "text/word_list.h"

namespace {

constexpr uint32_t kFirstBackoffMs = 1000;
constexpr uint32_t kMaxBackoffMs = 30000;
constexpr int64_t kMaxRetryAfterSeconds = 60;
constexpr int64_t kSecondsPerDay = 86400;

// Words apart by single spaces: no table of pointers in the DLL.
constexpr std::string_view kDayNames = "Mon Tue Wed Thu Fri Sat Sun";
constexpr std::string_view kLongDayNames = "Monday Tuesday Wednesday Thursday Friday Saturday Sunday";
constexpr std::string_view kMonthNames = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec";

// Reads a value from the front; a failed read consumes nothing.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return text_.empty(); }

  bool Literal(std::string_view expected) {
    if (text_.substr(0, expected.size()) != expected) return false;
    text_.remove_prefix(expected.size());
    return true;
  }

  bool Digits(std::size_t count, int& value) {
    if (text_.size() < count) return false;
    int read = 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (text_[i] < '0' || text_[i] > '9') return false;
      read = read * 10 + (text_[i] - '0');
    }
    text_.remove_prefix(count);
    value = read;
    return true;
  }

  // Names are matched case-sensitively, as HTTP dates are defined; `index` counts from 1.
  bool OneOf(std::string_view names, int& index) {
    for (int i = 1; !names.empty(); ++i) {
      if (Literal(TakeWord(names))) {
        index = i;
        return true;
      }
    }
    return false;
  }

 private:
  std::string_view text_;
};

int64_t YearOfUnixTime(int64_t seconds) {
  return CivilFromDays(seconds / kSecondsPerDay - (seconds % kSecondsPerDay < 0)).year;
}

// A two-digit year is the one with those digits less than 50 years back and at most 50
// years ahead. Clocks beyond the four-digit years are taken as their ends, which keeps
// the date's seconds far from overflowing.
int64_t FullYear(int twoDigits, int64_t nowUnixSeconds) {
  const int64_t nowYear = std::clamp<int64_t>(YearOfUnixTime(nowUnixSeconds), 0, 9999);
  const int64_t year = nowYear - (nowYear % 100 + 100) % 100 + twoDigits;
  if (year > nowYear + 50) return year - 100;
  return year <= nowYear - 50 ? year + 100 : year;
}

struct DateTime {
  int64_t year = 0;
  int month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

bool ReadTime(Reader& in, DateTime& t) {
  return in.Digits(2, t.hour) && in.Literal(":") && in.Digits(2, t.minute) && in.Literal(":") &&
         in.Digits(2, t.second);
}

std::optional<int64_t> UnixTime(const DateTime& t) {
  static constexpr int kDaysInMonth[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = t.year % 4 == 0 && (t.year % 100 != 0 || t.year % 400 == 0);
  if (t.day < 1 || t.day > kDaysInMonth[t.month - 1] || (t.month == 2 && t.day == 29 && !leap) ||
      t.hour > 23 || t.minute > 59 || t.second > 60) {
    return std::nullopt;
  }
  return DaysFromCivil(t.year, t.month, t.day) * kSecondsPerDay + t.hour * 3600 + t.minute * 60 +
         t.second;
}

// IMF-fixdate "Sun, 06 Nov 1994 08:49:37 GMT", or the obsolete forms RFC 850
// "Sunday, 06-Nov-94 08:49:37 GMT" and asctime "Sun Nov  6 08:49:37 1994". The day name
// must be one but need not match the date: the date alone says when.
std::optional<int64_t> ParseHttpDate(std::string_view text, int64_t nowUnixSeconds) {
  DateTime t;
  int weekday = 0, year = 0;
  Reader imf(text);
  if (imf.OneOf(kDayNames, weekday) && imf.Literal(", ") && imf.Digits(2, t.day) &&
      imf.Literal(" ") && imf.OneOf(kMonthNames, t.month) && imf.Literal(" ") &&
      imf.Digits(4, year) && imf.Literal(" ") && ReadTime(imf, t) && imf.Literal(" GMT") &&
      imf.AtEnd()) {
    t.year = year;
    return UnixTime(t);
  }
  Reader rfc850(text);
  if (rfc850.OneOf(kLongDayNames, weekday) && rfc850.Literal(", ") && rfc850.Digits(2, t.day) &&
      rfc850.Literal("-") && rfc850.OneOf(kMonthNames, t.month) && rfc850.Literal("-") &&
      rfc850.Digits(2, year) && rfc850.Literal(" ") && ReadTime(rfc850, t) &&
      rfc850.Literal(" GMT") && rfc850.AtEnd()) {
    t.year = FullYear(year, nowUnixSeconds);
    return UnixTime(t);
  }
  Reader asctime(text);
  if (asctime.OneOf(kDayNames, weekday) && asctime.Literal(" ") &&
      asctime.OneOf(kMonthNames, t.month) && asctime.Literal(" ") &&
      (asctime.Digits(2, t.day) || (asctime.Literal(" ") && asctime.Digits(1, t.day))) &&
      asctime.Literal(" ") && ReadTime(asctime, t) && asctime.Literal(" ") &&
      asctime.Digits(4, year) && asctime.AtEnd()) {
    t.year = year;
    return UnixTime(t);
  }
  return std::nullopt;
}

bool IsDelaySeconds(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

bool IsRetriedOutcome(int32_t status, uint32_t error) {
  if (status != 0) return status == 429 || status == 502 || status == 503 || status == 504;
  // With no answer, every failure is taken for a passing one (WinINet reports a dropped or
  // refused connection under several codes, and a handshake reset in transit as 12157)
  // except those that would come again the same way: nothing sent at all (an empty URL), a
  // bad parameter or URL, an unknown scheme, a give-up, and certificate failures.
  switch (error) {
    case 0: case 87: case 12005: case 12006: case 12017:
      return false;
    default:
      return !IsCertificateError(error);
  }
}

bool SaysNoNetwork(int32_t status, uint32_t error) {
  switch (status == 0 ? error : 0) {
    case 12007: case 12023: case 12029: case 12163: case 12164: case 12165:
      return true;
    default:
      return false;
  }
}

uint32_t BackoffMs(int failedAttempts, uint32_t random) {
  uint32_t bound = kFirstBackoffMs;
  for (int n = 1; n < failedAttempts && bound < kMaxBackoffMs; ++n) bound *= 2;
  bound = std::min(bound, kMaxBackoffMs);
  // The floor keeps a report's attempts spread over a passing outage, whatever the draws.
  const uint32_t floor = bound / 2;
  return floor + static_cast<uint32_t>((uint64_t{random} * (bound - floor + 1)) >> 32);
}

std::optional<uint32_t> RetryAfterMs(std::string_view value, int64_t nowUnixSeconds) {
  const std::size_t begin = value.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return std::nullopt;
  value = value.substr(begin, value.find_last_not_of(" \t") + 1 - begin);

  int64_t seconds = 0;
  if (IsDelaySeconds(value)) {
    for (const char digit : value)
      seconds = std::min(seconds * 10 + (digit - '0'), kMaxRetryAfterSeconds);
  } else if (const std::optional<int64_t> date = ParseHttpDate(value, nowUnixSeconds)) {
    // Compared before subtracting, which could overflow for a far-off clock.
    if (*date <= nowUnixSeconds) return 0;
    seconds = nowUnixSeconds < *date - kMaxRetryAfterSeconds ? kMaxRetryAfterSeconds
                                                             : *date - nowUnixSeconds;
  } else {
    return std::nullopt;
  }
  return static_cast<uint32_t>(seconds * 1000);
}

uint32_t NextRetryWaitMs(int failedAttempts, int32_t status, std::string_view retryAfter,
                         int64_t nowUnixSeconds, uint32_t random) {
  if (status == 429 || status == 503) {
    // A wait of 0 would send the report straight back into the overload.
    const std::optional<uint32_t> wait = RetryAfterMs(retryAfter, nowUnixSeconds);
    if (wait.value_or(0) > 0) return *wait;
  }
  return BackoffMs(failedAttempts, random);
}
