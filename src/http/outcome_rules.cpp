#include "http/outcome_rules.h"

#include <algorithm>
#include <initializer_list>

namespace {

constexpr uint32_t kOwnSendLimit = 10060;  // WSAETIMEDOUT: the plug-in gave the send up

bool OneOf(uint32_t code, std::initializer_list<uint32_t> codes) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

OutcomeWord WordForError(uint32_t error) {
  if (OneOf(error, {12005, 12006})) return OutcomeWord::Url;  // INVALID_URL, UNRECOGNIZED_SCHEME
  if (error == 12007) return OutcomeWord::Dns;  // ERROR_INTERNET_NAME_NOT_RESOLVED
  // CANNOT_CONNECT, CONNECTION_ABORTED, CONNECTION_RESET, and a connection closed with no
  // HTTP answer (ERROR_HTTP_INVALID_SERVER_RESPONSE).
  if (OneOf(error, {12029, 12030, 12031, 12152})) return OutcomeWord::Connect;
  if (OneOf(error, {12002, kOwnSendLimit})) return OutcomeWord::Timeout;  // ERROR_INTERNET_TIMEOUT
  if (IsCertificateError(error) || error == 12157) return OutcomeWord::Tls;  // SECURITY_CHANNEL_ERROR
  return OutcomeWord::Other;
}

}  // namespace

const char* OutcomeWordText(OutcomeWord word) {
  switch (word) {
    case OutcomeWord::None: return "none";
    case OutcomeWord::Ok: return "ok";
    case OutcomeWord::Refused: return "refused";
    case OutcomeWord::Http: return "http";
    case OutcomeWord::Url: return "url";
    case OutcomeWord::Invalid: return "invalid";
    case OutcomeWord::Dns: return "dns";
    case OutcomeWord::Connect: return "connect";
    case OutcomeWord::Timeout: return "timeout";
    case OutcomeWord::Tls: return "tls";
    case OutcomeWord::Proxy: return "proxy";
    case OutcomeWord::Off: return "off";
    case OutcomeWord::Stopped: return "stopped";
    case OutcomeWord::Other: return "other";
  }
  return "other";
}

// SEC_CERT_DATE_INVALID, SEC_CERT_CN_INVALID, CLIENT_AUTH_CERT_NEEDED, INVALID_CA,
// SEC_CERT_ERRORS, SEC_CERT_NO_REV, SEC_CERT_REV_FAILED, SEC_INVALID_CERT, SEC_CERT_REVOKED.
bool IsCertificateError(uint32_t error) {
  return OneOf(error, {12037, 12038, 12044, 12045, 12055, 12056, 12057, 12169, 12170});
}

Outcome DescribeAttempt(uint32_t status, uint32_t error, bool viaProxy) {
  if (status != 0) return {status >= 200 && status <= 299 ? OutcomeWord::Ok : OutcomeWord::Http, status};
  const uint32_t code = error == kOwnSendLimit ? 0 : error;
  const OutcomeWord word = WordForError(error);
  // A certificate or handshake is the endpoint's, even through a proxy's tunnel.
  if (viaProxy && word != OutcomeWord::Tls && word != OutcomeWord::Url) return {OutcomeWord::Proxy, code};
  return {word, code};
}
