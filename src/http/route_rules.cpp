#include "http/route_rules.h"

#include "text/ascii_case.h"

namespace {

// WinINet's codes, spelled out so that this file needs no Windows header.
constexpr uint32_t kConnectionAborted = 12030;
constexpr uint32_t kConnectionReset = 12031;
constexpr uint32_t kInvalidServerResponse = 12152;
constexpr uint32_t kProxyAuthenticationRequired = 407;

// '*' matches any run of characters; no backtracking beyond the last star is needed.
bool MatchesPattern(std::string_view text, std::string_view pattern) {
  size_t t = 0, p = 0, star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && AsciiLower(pattern[p]) == AsciiLower(text[t])) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool IsSeparator(char c) { return c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool FallsBackToDirect(const RouteFacts& facts) {
  if (!facts.viaProxy) return false;
  if (facts.sendError == 0) return facts.status == kProxyAuthenticationRequired;
  return !facts.requestSent;
}

uint32_t ProxyConnectLimitMs(uint32_t sendLimitMs) { return sendLimitMs / 2; }

bool IsBypassed(std::string_view host, std::string_view bypassList) {
  if (host.empty()) return false;
  size_t begin = 0;
  while (begin < bypassList.size()) {
    size_t end = begin;
    while (end < bypassList.size() && !IsSeparator(bypassList[end])) ++end;
    const std::string_view entry = bypassList.substr(begin, end - begin);
    if (entry == "<local>" ? host.find('.') == std::string_view::npos
                           : !entry.empty() && MatchesPattern(host, entry)) {
      return true;
    }
    begin = end + 1;
  }
  return false;
}

bool IsResentOnNewConnection(uint32_t sendError) {
  return sendError == kConnectionAborted || sendError == kConnectionReset || sendError == kInvalidServerResponse;
}
