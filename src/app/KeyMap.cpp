#include "app/KeyMap.h"

namespace app {

std::optional<int> KeyNumber(char32_t key) {
  if (key >= U'0' && key <= U'9') return static_cast<int>(key - U'0');
  if (key >= U'A' && key <= U'D') return kKeyA + static_cast<int>(key - U'A');
  if (key >= U'a' && key <= U'd') return kKeyA + static_cast<int>(key - U'a');
  switch (key) {
    case U'*':
      return kKeyStar;
    case U'#':
    case U'.':
      return kKeySharp;
    default:
      return std::nullopt;
  }
}

std::optional<int> FormKeyNumber(sip::TSIPState state, char32_t key) {
  if (state != sip::ssInCall) return std::nullopt;
  return KeyNumber(key);
}

EditKeyAction EditKeyPressAction(int senderTag, char32_t key) {
  if (key == kCharEnter) return EditKeyAction::Connect;
  if (senderTag != kUserIdBoxTag) return EditKeyAction::Pass;
  if (key == kCharBackspace || (key >= U'0' && key <= U'9')) return EditKeyAction::Pass;
  return EditKeyAction::Consume;
}

}  // namespace app
