// A server's answer to a request, as the tests' stand-in servers give it: the request's Via,
// From, To, Call-ID and CSeq, a challenge with a 401, and an optional body.
#pragma once

#include <string>

namespace testsupport {

std::string SipResponse(const std::string& request, int code, const std::string& body = "");

}  // namespace testsupport
