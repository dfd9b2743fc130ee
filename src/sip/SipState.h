#pragma once

#include <cstdint>

namespace sip {

// The engine's state; one byte, values fixed because the window keys its texts on them.
enum class TSIPState : std::uint8_t {
  ssIdle = 0,            // not registered; after an un-registration the socket is closed
  ssRegistering = 1,     // REGISTER sent, for a registration or an un-registration
  ssRegistered = 2,      // registered, no call
  ssInviting = 3,        // INVITE sent, no answer yet
  ssAuthenticating = 4,  // a 401/407 was answered with credentials
  ssTrying = 5,          // 100 received
  ssRefused = 6,         // 403 received
  ssRinging = 7,         // 180 received
  ssCancelling = 8,      // CANCEL sent
  ssCallFailed = 9,      // the call attempt ended without a conversation
  ssInCall = 10,         // 200 to the INVITE received and acknowledged
  ssHangingUp = 11,      // BYE sent
  ssRemoteHangUp = 12,   // the other party hung up
};
using enum TSIPState;

// What the outstanding request is for.
enum class TPendingKind : std::uint8_t {
  pkRegister = 0,
  pkInvite = 1,
  pkUnregister = 2,
};
using enum TPendingKind;

// "ssRegistered" and so on; "ss?" for a value outside the enumeration.
const char* StateName(TSIPState state);

}  // namespace sip
