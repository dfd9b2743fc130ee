// The challenge of a 401 or 407 read into credentials. The first byte chooses the status and the
// password kind, the rest is the header value as received. Whatever the challenge holds, the
// answer is one header line: a quote, a comma or a line break in it must not end the line early
// or smuggle in another header. Which digest it carries, md5sum tells in the unit test.
#include <string>

#include "FuzzCheck.h"
#include "sip/Digest.h"
#include "sip/SipMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool proxy = (data[0] & 1) != 0;
  const std::string challenge(reinterpret_cast<const char*>(data + 1), size - 1);
  for (const char* name : {"algorithm", "realm", "nonce", "opaque", "qop", "stale"})
    FUZZ_CHECK(sip::GetParam(name, challenge).size() <= challenge.size());
  const std::string header = proxy ? "Proxy-Authenticate" : "WWW-Authenticate";
  const int status = proxy ? sip::kStatusProxyAuthenticationRequired : sip::kStatusUnauthorized;
  const std::string block =
      "SIP/2.0 " + std::to_string(status) + " X\r\n" + header + ": " + challenge + "\r\n";
  const std::string password = (data[0] & 2) != 0 ? "{0123456789abcdef0123456789abcdef}" : "s";
  const auto line = sip::BuildAuthorization(status, block, "0123", password, "REGISTER", "sip:d");
  if (!line) return 0;
  FUZZ_CHECK(line->starts_with(proxy ? "Proxy-Authorization: Digest username=\""
                                     : "Authorization: Digest username=\""));
  FUZZ_CHECK(line->find_first_of("\r\n") == line->size() - 2 && line->ends_with("\r\n"));
  return 0;
}
