// What the tests' stand-in servers send. An answer to a request: the request's Via, From, To
// (tagged "srv" by the far end), Call-ID and CSeq, a challenge (realm 127.0.0.1, nonce "n0nce")
// with a 401 or 407, and an optional body. A request of the far end inside the call that `ours`
// (a request the client sent) belongs to. Headers are read as the client writes them, by a
// reader of their own, not the client's.
#pragma once

#include <string>

namespace testsupport {

std::string SipResponse(const std::string& request, int code, const std::string& body = "");
std::string SipRequest(const std::string& method, const std::string& ours,
                       const std::string& body = "", const std::string& farEndTag = "srv");

}  // namespace testsupport
