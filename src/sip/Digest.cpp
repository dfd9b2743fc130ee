#include "sip/Digest.h"

#include "sip/SipMessage.h"
#include "sip/md5.h"

namespace sip {

namespace {

std::string MD5Hex(const std::string& text) {
  MD5Digest digest;
  MD5String(text, digest);
  return MD5Print(digest);
}

std::string Quoted(const std::string& value) {
  return "\"" + value + "\"";
}

}  // namespace

std::string GetParam(std::string_view name, const std::string& challenge) {
  const std::size_t found = challenge.find(name);
  if (found == std::string::npos) return {};
  const std::size_t equals = found + name.size();
  // The "=" and at least two characters after it.
  if (equals + 2 >= challenge.size() || challenge[equals] != '=') return {};
  const std::size_t valueStart = equals + 1;
  if (challenge[valueStart] == '"') {
    const std::size_t close = challenge.find('"', valueStart + 1);
    return challenge.substr(
        valueStart + 1, close == std::string::npos ? std::string::npos : close - valueStart - 1);
  }
  const std::size_t end = challenge.find_first_of(" ,", valueStart);
  return challenge.substr(valueStart,
                          end == std::string::npos ? std::string::npos : end - valueStart);
}

std::string PasswordDigest(const std::string& userID, const std::string& realm,
                           const std::string& password) {
  if (password.size() == kRememberedPasswordLength && password.front() == '{' &&
      password.back() == '}') {
    return password.substr(1, kRememberedPasswordLength - 2);
  }
  return MD5Hex(userID + ":" + realm + ":" + password);
}

std::string DigestResponse(const std::string& ha1, const std::string& nonce,
                           const std::string& method, const std::string& requestURI) {
  const std::string ha2 = MD5Hex(method + ":" + requestURI);
  return MD5Hex(ha1 + ":" + nonce + ":" + ha2);
}

std::optional<std::string> BuildAuthorization(int statusCode, const std::string& headerBlock,
                                              const std::string& userID,
                                              const std::string& password,
                                              const std::string& method,
                                              const std::string& requestURI) {
  const bool proxy = statusCode == kStatusProxyAuthenticationRequired;
  const std::string challenge =
      GetHeader(headerBlock, proxy ? "Proxy-Authenticate" : "WWW-Authenticate");
  if (challenge.empty() || GetParam("algorithm", challenge) != "MD5") return std::nullopt;
  // A bare line break would reach our request and cut its header in two.
  if (challenge.find_first_of("\r\n") != std::string::npos) return std::nullopt;

  const std::string realm = GetParam("realm", challenge);
  const std::string nonce = GetParam("nonce", challenge);
  const std::string opaque = GetParam("opaque", challenge);
  const std::string response =
      DigestResponse(PasswordDigest(userID, realm, password), nonce, method, requestURI);

  std::string line = proxy ? "Proxy-" : "";
  line += "Authorization: Digest username=" + Quoted(userID);
  line += ",realm=" + Quoted(realm);
  line += ",nonce=" + Quoted(nonce);
  line += ",response=" + Quoted(response);
  line += ",uri=" + Quoted(requestURI);
  line += ",algorithm=MD5";
  line += ",opaque=" + Quoted(opaque);
  line += "\r\n";
  return line;
}

}  // namespace sip
