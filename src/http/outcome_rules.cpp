#include "http/outcome_rules.h"

namespace {

constexpr uint32_t kOwnSendLimit = 10060;  // WSAETIMEDOUT: the plug-in gave the send up

OutcomeWord WordForError(uint32_t error) {
  switch (error) {
    case 12005: case 12006:  // INVALID_URL, UNRECOGNIZED_SCHEME
      return OutcomeWord::Url;
    case 12007:  // NAME_NOT_RESOLVED
      return OutcomeWord::Dns;
    // CANNOT_CONNECT, CONNECTION_ABORTED, CONNECTION_RESET, and a connection closed with no
    // HTTP answer (ERROR_HTTP_INVALID_SERVER_RESPONSE).
    case 12029: case 12030: case 12031: case 12152:
      return OutcomeWord::Connect;
    case 12002: case kOwnSendLimit:  // ERROR_INTERNET_TIMEOUT
      return OutcomeWord::Timeout;
    case 12157:  // SECURITY_CHANNEL_ERROR
      return OutcomeWord::Tls;
    default:
      return IsCertificateError(error) ? OutcomeWord::Tls : OutcomeWord::Other;
  }
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
  switch (error) {
    case 12037: case 12038: case 12044: case 12045: case 12055: case 12056: case 12057: case 12169: case 12170:
      return true;
    default:
      return false;
  }
}

Outcome DescribeAttempt(uint32_t status, uint32_t error, bool viaProxy) {
  if (status != 0) return {status >= 200 && status <= 299 ? OutcomeWord::Ok : OutcomeWord::Http, status};
  const uint32_t code = error == kOwnSendLimit ? 0 : error;
  const OutcomeWord word = WordForError(error);
  // A certificate or handshake is the endpoint's, even through a proxy's tunnel.
  if (viaProxy && word != OutcomeWord::Tls && word != OutcomeWord::Url) return {OutcomeWord::Proxy, code};
  return {word, code};
}
