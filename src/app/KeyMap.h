// The keys typed in the window: which keypad key a character stands for during a call, and
// what the connection panel's edit boxes do with a character. Characters are code points of
// the text a key press produces; keys that produce no text (arrows, Delete) are no characters
// and never come here.
#pragma once

#include <optional>

#include "sip/SipState.h"

namespace app {

// The key numbers of the keypad and of the DTMF tones: 0 to 9, then these.
inline constexpr int kKeyStar = 10;
inline constexpr int kKeySharp = 11;
inline constexpr int kKeyA = 12;  // B, C, D follow

inline constexpr char32_t kCharBackspace = 8;
inline constexpr char32_t kCharEnter = 13;

// The key number `key` stands for: "0" to "9", "*", "#" and "." (the decimal key of a numeric
// keypad serves as #), "A" to "D" in either case; none for every other character.
std::optional<int> KeyNumber(char32_t key);

// The key number to send for `key` typed anywhere in the window in engine state `state`:
// only during a call. The key is never consumed; it still reaches the focused control.
std::optional<int> FormKeyNumber(sip::TSIPState state, char32_t key);

// The Tag of the user ID box, the one box that takes digits only.
inline constexpr int kUserIdBoxTag = 1;

enum class EditKeyAction {
  Pass,     // the box takes the character
  Consume,  // the character is dropped
  Connect,  // the character is dropped and the connection starts, as the Connect button does
};

// What the connection panel's box with Tag `senderTag` does with `key`: Enter connects from
// every box; the user ID box takes Backspace and the digits only; the others take everything.
EditKeyAction EditKeyPressAction(int senderTag, char32_t key);

}  // namespace app
