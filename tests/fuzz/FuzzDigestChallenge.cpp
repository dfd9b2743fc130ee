// The challenge of a 401 or 407 read into credentials: the parameter reader over the raw
// header value, then the whole answer built from a response that carries it. The first byte
// chooses the status and the password kind, the rest is the header value as received.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "sip/Digest.h"
#include "sip/SipMessage.h"

namespace {

constexpr const char* kParamNames[] = {"algorithm", "realm", "nonce", "opaque", "qop", "stale"};
constexpr std::string_view kUserID = "0123456789";
constexpr std::string_view kRememberedPassword = "{0123456789abcdef0123456789abcdef}";

bool IsLowerHex(std::string_view text) {
  return text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

void CheckParam(const std::string& challenge, const char* name) {
  const std::string value = sip::GetParam(name, challenge);
  if (value.empty()) return;
  // A value is always a piece of the challenge, found after the name and its "=".
  const std::string pattern = std::string(name) + "=";
  const std::size_t at = challenge.find(pattern);
  FUZZ_CHECK(at != std::string::npos);
  const std::size_t valueStart = at + pattern.size();
  if (challenge[valueStart] == '"') {
    FUZZ_CHECK(challenge.compare(valueStart + 1, value.size(), value) == 0);
    FUZZ_CHECK(value.find('"') == std::string::npos);
  } else {
    FUZZ_CHECK(challenge.compare(valueStart, value.size(), value) == 0);
    FUZZ_CHECK(value.find_first_of(" ,") == std::string::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool proxy = (data[0] & 1) != 0;
  const bool remembered = (data[0] & 2) != 0;
  const std::string challenge(reinterpret_cast<const char*>(data + 1), size - 1);
  for (const char* name : kParamNames)
    CheckParam(challenge, name);

  const int status = proxy ? sip::kStatusProxyAuthenticationRequired : sip::kStatusUnauthorized;
  const std::string headerBlock =
      "SIP/2.0 " + std::to_string(status) + " Unauthorized\r\nCSeq: 1 REGISTER\r\n" +
      (proxy ? "Proxy-Authenticate: " : "WWW-Authenticate: ") + challenge + "\r\n";
  const std::string password = remembered ? std::string(kRememberedPassword) : "secret";
  const auto line = sip::BuildAuthorization(status, headerBlock, std::string(kUserID), password,
                                            "REGISTER", "sip:sip.example.test");
  const std::string received =
      sip::GetHeader(headerBlock, proxy ? "Proxy-Authenticate" : "WWW-Authenticate");
  if (!line) {
    FUZZ_CHECK(received.empty() || sip::GetParam("algorithm", received) != "MD5");
    return 0;
  }
  FUZZ_CHECK(sip::GetParam("algorithm", received) == "MD5");
  // One header line, whatever the challenge held: the header value ends at the first CR.
  const std::string_view expectedStart =
      proxy ? "Proxy-Authorization: Digest username=\"" : "Authorization: Digest username=\"";
  FUZZ_CHECK(line->starts_with(expectedStart));
  FUZZ_CHECK(line->ends_with("\r\n") && line->find('\r') == line->size() - 2);

  // The response in the line is the digest of what the challenge said.
  const std::string realm = sip::GetParam("realm", received);
  const std::string nonce = sip::GetParam("nonce", received);
  const std::string ha1 = sip::PasswordDigest(std::string(kUserID), realm, password);
  FUZZ_CHECK(ha1.size() == 32 && IsLowerHex(ha1));
  const std::string response = sip::DigestResponse(ha1, nonce, "REGISTER", "sip:sip.example.test");
  FUZZ_CHECK(response.size() == 32 && IsLowerHex(response));
  FUZZ_CHECK(line->find(",response=\"" + response + "\"") != std::string::npos);
  return 0;
}
