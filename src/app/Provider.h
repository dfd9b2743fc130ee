// The values that tie the program to its provider, kept in one place. The window's design
// texts for the domain and the credit line must equal kProviderDomain and kCreditText.
#pragma once

#include <string>

#include "platform/Version.h"

namespace app {

inline std::string WindowCaption() {
  return std::string(platform::kProductName) + " - Un client SIP pour Brovandes";
}
// The provider's SIP domain: the design text of the Domain box.
inline constexpr const char* kProviderDomain = "sip.brovandes.fr";
inline constexpr const char* kStunServer = "stun.brovandes.fr";
inline constexpr const char* kAccountPage = "https://www.brovandes.fr/login/";
inline constexpr const char* kCreditText = "Telvarion © 2006";
inline constexpr const char* kCreditPage = "https://www.brovandes.fr/telvarion/";

}  // namespace app
