// A server's answer to a request, as the tests' stand-in servers give it: the request's Via,
// From, To (tagged by the server), Call-ID and CSeq, a challenge (realm 127.0.0.1, nonce
// "n0nce") with a 401 or 407, and an optional body.
#pragma once

#include <string>

namespace testsupport {

std::string SipResponse(const std::string& request, int code, const std::string& body = "");

}  // namespace testsupport
