#include "text/json_member.h"

#include "text/ascii_case.h"

namespace {

// Deeper answers are refused rather than followed: the scan recurses once per level.
constexpr int kMaxDepth = 64;
constexpr int kMaxIntegerDigits = 18;  // always fits std::int64_t

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  TopLevelInteger Read(std::string_view name) {
    TopLevelInteger result;
    SkipSpace();
    const bool object = pos_ < text_.size() && text_[pos_] == '{';
    std::optional<std::int64_t> value;
    const bool valid = object ? Object(1, &name, &value) : Value(0, nullptr);
    SkipSpace();
    if (!valid || pos_ != text_.size()) return result;
    result.shape = object ? JsonShape::Object : JsonShape::Other;
    result.value = value;
    return result;
  }

 private:
  void SkipSpace() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool Take(char c) {
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }

  bool Value(int depth, std::optional<std::int64_t>* integer) {
    SkipSpace();
    if (pos_ >= text_.size()) return false;
    switch (text_[pos_]) {
      case '{': return depth < kMaxDepth && Object(depth + 1, nullptr, nullptr);
      case '[': return depth < kMaxDepth && Array(depth + 1);
      case '"': return String(nullptr);
      case 't': return Literal("true");
      case 'f': return Literal("false");
      case 'n': return Literal("null");
      default: return Number(integer);
    }
  }

  // With `name` given, keeps in `found` the number of the member so named at this level.
  bool Object(int depth, const std::string_view* name, std::optional<std::int64_t>* found) {
    ++pos_;  // '{'
    SkipSpace();
    if (Take('}')) return true;
    for (;;) {
      SkipSpace();
      std::string_view key;
      if (!String(&key)) return false;
      SkipSpace();
      if (!Take(':')) return false;
      std::optional<std::int64_t> integer;
      if (!Value(depth, &integer)) return false;
      if (name && key == *name) *found = integer;
      SkipSpace();
      if (Take('}')) return true;
      if (!Take(',')) return false;
    }
  }

  bool Array(int depth) {
    ++pos_;  // '['
    SkipSpace();
    if (Take(']')) return true;
    for (;;) {
      if (!Value(depth, nullptr)) return false;
      SkipSpace();
      if (Take(']')) return true;
      if (!Take(',')) return false;
    }
  }

  // `raw` gets the bytes between the quotes, escapes as written.
  bool String(std::string_view* raw) {
    if (!Take('"')) return false;
    const std::size_t begin = pos_;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"') {
        if (raw) *raw = text_.substr(begin, pos_ - 1 - begin);
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') continue;
      if (pos_ >= text_.size()) return false;
      const char e = text_[pos_++];
      if (e == 'u') {
        for (int i = 0; i < 4; ++i) {
          if (pos_ >= text_.size() || !IsAsciiHexDigit(text_[pos_++])) return false;
        }
      } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
        return false;
      }
    }
    return false;
  }

  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  std::size_t Digits() {
    const std::size_t begin = pos_;
    while (pos_ < text_.size() && IsAsciiDigit(text_[pos_])) ++pos_;
    return pos_ - begin;
  }

  bool Number(std::optional<std::int64_t>* integer) {
    const bool negative = Take('-');
    const std::size_t begin = pos_;
    const std::size_t digits = Digits();
    if (digits == 0 || (digits > 1 && text_[begin] == '0')) return false;
    bool whole = digits <= kMaxIntegerDigits;
    if (Take('.')) {
      whole = false;
      if (Digits() == 0) return false;
    }
    if (Take('e') || Take('E')) {
      whole = false;
      if (!Take('+')) Take('-');
      if (Digits() == 0) return false;
    }
    if (whole && integer) {
      std::int64_t value = 0;
      for (std::size_t i = begin; i < begin + digits; ++i) value = value * 10 + (text_[i] - '0');
      *integer = negative ? -value : value;
    }
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

TopLevelInteger ReadTopLevelInteger(std::string_view json, std::string_view name) {
  return Scanner(json).Read(name);
}
