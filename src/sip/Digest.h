// Digest authentication (RFC 2617 without qop) for 401 and 407 challenges, and the remembered
// password: "{" + HA1 + "}", which stands for the first digest so that the clear password
// need not be stored.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sip {

inline constexpr int kStatusUnauthorized = 401;
inline constexpr int kStatusProxyAuthenticationRequired = 407;
inline constexpr std::size_t kRememberedPasswordLength = 34;

// One parameter of a challenge: the first occurrence of the name anywhere in it, followed at
// once by "=" and at least two more characters; a quoted value runs to the next quote, an
// unquoted one to a blank or a comma. Empty when absent.
std::string GetParam(std::string_view name, const std::string& challenge);

// HA1: the inner 32 characters of a remembered password, else MD5(user:realm:password).
std::string PasswordDigest(const std::string& userID, const std::string& realm,
                           const std::string& password);

// MD5(HA1:nonce:MD5(method:uri)) in lower-case hexadecimal.
std::string DigestResponse(const std::string& ha1, const std::string& nonce,
                           const std::string& method, const std::string& requestURI);

// The credentials line, CR LF included, answering the challenge of the response held in
// `headerBlock` (Proxy-Authenticate for a 407, else WWW-Authenticate). Nothing when the
// challenge is missing or its algorithm is not exactly MD5.
std::optional<std::string> BuildAuthorization(int statusCode, const std::string& headerBlock,
                                              const std::string& userID,
                                              const std::string& password,
                                              const std::string& method,
                                              const std::string& requestURI);

}  // namespace sip
