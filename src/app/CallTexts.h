// The texts the window shows while it follows the SIP engine: the message for an engine error
// and, for each engine state, the status text, the panel to show and the wait panel's height.
// Pure functions of their arguments, so that the window only puts their results on screen.
// Texts are UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/CallView.h"
#include "sip/SipState.h"

namespace app {

// The message box text for the engine's last error `code`: the engine's own numbers have a
// message each, every other number (0, negative, socket errors) reads "SIP Error #" and the
// number. `domain` is the engine's domain
// (used by code 1), `lastMessage` the whole text of the last received message (used by code
// 5, after a carriage return).
std::string SipErrorText(int code, std::string_view domain, std::string_view lastMessage);

// The wait panel shows the status and the Cancel button only; during a call it is tall
// enough to show the keypad as well.
inline constexpr int kWaitPanelHeight = 113;
inline constexpr int kWaitPanelHeightInCall = 225;

// What the window does when the engine enters a state.
struct TStateDisplay {
  // The new text of Status; none leaves the previous text in place.
  std::optional<std::string_view> Status;
  // The panel to switch to; none keeps the panel shown.
  std::optional<TPanel> Panel;
  // The wait panel's height, set on every change.
  int WaitPanelHeight = kWaitPanelHeight;
};

// The display for `state`. A value outside the enumeration changes neither text nor panel.
TStateDisplay DisplayForState(sip::TSIPState state);

}  // namespace app
