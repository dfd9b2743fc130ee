// The challenge of a 401 or 407 read into credentials: the parameter reader over the raw header
// value, then the whole answer built from a response that carries it. The first byte chooses
// the status and the password kind, the rest is the header value as received.
#include <string>

#include "FuzzCheck.h"
#include "sip/Digest.h"
#include "sip/SipMessage.h"

namespace {

bool IsLowerHex(const std::string& text) {
  return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// A value is a piece of the challenge right after its name and "=", quoted or not.
void CheckParam(const std::string& challenge, const char* name) {
  const std::string value = sip::GetParam(name, challenge);
  if (value.empty()) return;
  const std::size_t at = challenge.find(std::string(name) + "=") + std::string(name).size() + 1;
  const bool quoted = challenge[at] == '"';
  FUZZ_CHECK(challenge.compare(at + quoted, value.size(), value) == 0);
  FUZZ_CHECK(value.find_first_of(quoted ? "\"" : " ,") == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool proxy = (data[0] & 1) != 0;
  const std::string challenge(reinterpret_cast<const char*>(data + 1), size - 1);
  for (const char* name : {"algorithm", "realm", "nonce", "opaque", "qop", "stale"})
    CheckParam(challenge, name);
  const std::string header = proxy ? "Proxy-Authenticate" : "WWW-Authenticate";
  const int status = proxy ? sip::kStatusProxyAuthenticationRequired : sip::kStatusUnauthorized;
  const std::string block =
      "SIP/2.0 " + std::to_string(status) + " X\r\n" + header + ": " + challenge + "\r\n";
  const std::string password = (data[0] & 2) != 0 ? "{0123456789abcdef0123456789abcdef}" : "s";
  const auto line = sip::BuildAuthorization(status, block, "0123", password, "REGISTER", "sip:d");
  const std::string received = sip::GetHeader(block, header);
  FUZZ_CHECK(line.has_value() ==
             (!received.empty() && sip::GetParam("algorithm", received) == "MD5"));
  if (!line) return 0;
  // One header line, whatever the challenge held, with a response of 32 lower-case hex digits
  // (which digest it is, md5sum tells in the unit test).
  FUZZ_CHECK(line->starts_with(proxy ? "Proxy-Authorization: Digest username=\""
                                     : "Authorization: Digest username=\""));
  FUZZ_CHECK(line->find('\r') == line->size() - 2 && line->ends_with("\r\n"));
  const std::string before = "Digest username=\"0123\",realm=\"" +
                             sip::GetParam("realm", received) + "\",nonce=\"" +
                             sip::GetParam("nonce", received) + "\",response=\"";
  const std::size_t response = line->find(before) + before.size();
  FUZZ_CHECK(line->find(before) != std::string::npos && line->compare(response + 32, 1, "\"") == 0);
  FUZZ_CHECK(IsLowerHex(line->substr(response, 32)));
  return 0;
}
