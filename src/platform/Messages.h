// Every message of the program, in one list: the hand-offs of the receive threads, what the
// audio server's threads post, and what the program posts to itself. A target tells its own
// messages apart by their payload; the number says which target's they are.
#pragma once

#include <cstdint>

namespace platform {

enum class MessageNumber : std::uint32_t {
  None = 0,
  WaveInData = 0x3C0,      // a capture block filled, to the audio engine on the server's thread
  DeviceChange = 537,      // the audio server's devices changed
  DeviceListing = 538,     // a listing of the devices that was asked for
  SipHandOff = 1025,       // a SIP datagram, or the SIP server's address looked up
  StunHandOff = 1026,      // the STUN answer's address, or the STUN server's looked up
  ErrorBox = 1027,         // a message box, shown once the hand-off that raised it is over
  MediaLookup = 1028,      // the far end's media address looked up
  ByeWait = 1029,          // the pause between two RTCP BYEs is over
  CapturedSamples = 1030,  // a capture block's samples, from the audio engine once it sent them
};

// The handlers of a std::visit, one a payload kind.
template <typename... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};
// Spelled out for clang 14, the fuzz build's compiler, which deduces no aggregate's arguments.
template <typename... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

}  // namespace platform
