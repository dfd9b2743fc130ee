#include "app/KeyMap.h"

#include <optional>

#include <gtest/gtest.h>

#include "sip/SipState.h"

namespace app {
namespace {

struct KeyCase {
  char32_t Key;
  int Number;
};

TEST(KeyNumberTest, KeypadCharactersGiveTheirKey) {
  const KeyCase cases[] = {
      {U'0', 0},  {U'1', 1},  {U'2', 2},  {U'3', 3},  {U'4', 4},  {U'5', 5},  {U'6', 6},
      {U'7', 7},  {U'8', 8},  {U'9', 9},  {U'*', 10}, {U'#', 11}, {U'.', 11}, {U'A', 12},
      {U'B', 13}, {U'C', 14}, {U'D', 15}, {U'a', 12}, {U'b', 13}, {U'c', 14}, {U'd', 15},
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(static_cast<unsigned>(c.Key));
    EXPECT_EQ(KeyNumber(c.Key), c.Number);
  }
}

TEST(KeyNumberTest, EveryOtherCharacterGivesNothing) {
  // Every code point below 0x3000 but the 21 above, and a few beyond.
  int mapped = 0;
  for (char32_t key = 0; key < 0x3000; ++key) {
    if (KeyNumber(key).has_value()) ++mapped;
  }
  EXPECT_EQ(mapped, 21);
  for (char32_t key : {U'e', U'E', U',', U'+', U'-', U'/', U' ', U'\r', U'\b', U'@', U'`',
                       U'\u00E9', U'\uFF10', U'\U0001F600', char32_t{0x110000}}) {
    SCOPED_TRACE(static_cast<unsigned>(key));
    EXPECT_EQ(KeyNumber(key), std::nullopt);
  }
}

TEST(FormKeyNumberTest, SendsOnlyInCall) {
  for (int value = 0; value <= 13; ++value) {
    const auto state = static_cast<sip::TSIPState>(value);
    SCOPED_TRACE(sip::StateName(state));
    EXPECT_EQ(FormKeyNumber(state, U'5'),
              state == sip::ssInCall ? std::optional<int>(5) : std::nullopt);
  }
}

TEST(FormKeyNumberTest, FullStopEqualsHashAndELetterSendsNothing) {
  EXPECT_EQ(FormKeyNumber(sip::ssInCall, U'.'), FormKeyNumber(sip::ssInCall, U'#'));
  EXPECT_EQ(FormKeyNumber(sip::ssInCall, U'.'), 11);
  EXPECT_EQ(FormKeyNumber(sip::ssInCall, U'e'), std::nullopt);
  EXPECT_EQ(FormKeyNumber(sip::ssInCall, U'd'), 15);
}

constexpr int kOtherBoxTag = 0;

TEST(EditKeyPressTest, EnterConnectsFromEveryBox) {
  for (int tag : {0, 1, 2, 3, 4}) {
    SCOPED_TRACE(tag);
    EXPECT_EQ(EditKeyPressAction(tag, U'\r'), EditKeyAction::Connect);
  }
}

TEST(EditKeyPressTest, UserIdBoxTakesDigitsAndBackspaceOnly) {
  for (char32_t key = 0; key < 0x300; ++key) {
    SCOPED_TRACE(static_cast<unsigned>(key));
    EditKeyAction expected = EditKeyAction::Consume;
    if (key == U'\r') {
      expected = EditKeyAction::Connect;
    } else if (key == U'\b' || (key >= U'0' && key <= U'9')) {
      expected = EditKeyAction::Pass;
    }
    EXPECT_EQ(EditKeyPressAction(kUserIdBoxTag, key), expected);
  }
  EXPECT_EQ(EditKeyPressAction(kUserIdBoxTag, U'a'), EditKeyAction::Consume);
  EXPECT_EQ(EditKeyPressAction(kUserIdBoxTag, U' '), EditKeyAction::Consume);
  EXPECT_EQ(EditKeyPressAction(kUserIdBoxTag, U'\n'), EditKeyAction::Consume);
  EXPECT_EQ(EditKeyPressAction(kUserIdBoxTag, U'\u0663'), EditKeyAction::Consume);  // Arabic 3
}

TEST(EditKeyPressTest, OtherBoxesTakeEveryOtherCharacter) {
  for (char32_t key : {U'a', U' ', U'\b', U'5', U'@', U'\n', U'\u00E9', char32_t{22}}) {
    SCOPED_TRACE(static_cast<unsigned>(key));
    EXPECT_EQ(EditKeyPressAction(kOtherBoxTag, key), EditKeyAction::Pass);
  }
}

}  // namespace
}  // namespace app
