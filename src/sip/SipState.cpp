#include "sip/SipState.h"

namespace sip {

const char* StateName(TSIPState state) {
  switch (state) {
    case ssIdle:
      return "ssIdle";
    case ssRegistering:
      return "ssRegistering";
    case ssRegistered:
      return "ssRegistered";
    case ssInviting:
      return "ssInviting";
    case ssAuthenticating:
      return "ssAuthenticating";
    case ssTrying:
      return "ssTrying";
    case ssRefused:
      return "ssRefused";
    case ssRinging:
      return "ssRinging";
    case ssCancelling:
      return "ssCancelling";
    case ssCallFailed:
      return "ssCallFailed";
    case ssInCall:
      return "ssInCall";
    case ssHangingUp:
      return "ssHangingUp";
    case ssRemoteHangUp:
      return "ssRemoteHangUp";
    default:
      return "ss?";
  }
}

}  // namespace sip
