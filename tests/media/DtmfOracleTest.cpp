// DTMF bursts, A-law coded and decoded as they travel, detected by spandsp's receiver.
//
// One key press is one 30 ms burst by design. The standard's minimum tone length is 40 ms and
// spandsp decides on blocks of 102 samples, two in a row, so whether a single burst is heard
// depends on where it falls against those blocks; two or more bursts in a row always are.
#include <spandsp.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "media/DTMF.h"
#include "media/G711.h"

namespace media {
namespace {

constexpr char kKeyNames[] = "0123456789*#ABCD";
constexpr int kBlock = 102;  // spandsp's DTMF block length in samples

// One burst as the remote party plays it: A-law coded, then decoded.
std::vector<std::int16_t> ReceivedBurst(int key) {
  const std::string linear = ALawDecode(ALawEncode(DTMFTone(key, kDTMFBurstBytes)));
  std::vector<std::int16_t> samples;
  for (std::size_t i = 0; i + 1 < linear.size(); i += 2) {
    samples.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(
        static_cast<unsigned char>(linear[i]) | (static_cast<unsigned char>(linear[i + 1]) << 8))));
  }
  return samples;
}

// The digits a fresh receiver reports for `leading` samples of silence, `bursts` bursts of
// the key back to back, and 200 ms of silence.
std::string Detect(int key, int bursts, int leading) {
  std::vector<std::int16_t> audio(static_cast<std::size_t>(leading), 0);
  const std::vector<std::int16_t> burst = ReceivedBurst(key);
  for (int i = 0; i < bursts; ++i)
    audio.insert(audio.end(), burst.begin(), burst.end());
  audio.resize(audio.size() + 1600, 0);
  dtmf_rx_state_t* receiver = dtmf_rx_init(nullptr, nullptr, nullptr);
  EXPECT_NE(receiver, nullptr);
  if (receiver == nullptr) return {};
  dtmf_rx(receiver, audio.data(), static_cast<int>(audio.size()));
  char digits[64] = {};
  const std::size_t count = dtmf_rx_get(receiver, digits, sizeof digits - 1);
  dtmf_rx_free(receiver);
  return std::string(digits, count);
}

TEST(DtmfOracleTest, TwoOrMoreBurstsInARowAreDetectedForEveryKey) {
  for (int key = 0; key < 16; ++key) {
    SCOPED_TRACE(kKeyNames[key]);
    for (const int bursts : {2, 3, 4}) {
      for (int leading = 0; leading < kBlock; leading += 17) {
        EXPECT_EQ(Detect(key, bursts, 800 + leading), std::string(1, kKeyNames[key]))
            << bursts << " bursts after " << 800 + leading << " samples of silence";
      }
    }
  }
}

// A single burst is heard at some positions against the receiver's blocks and not at others;
// it is never taken for another key. The figures go to the test's output.
TEST(DtmfOracleTest, ASingleBurstIsTheRightKeyOrNothing) {
  std::printf(
      "spandsp dtmf_rx, one 30 ms burst after 100 ms of silence, and over %d start "
      "positions:\n",
      kBlock);
  int detectedAtSomePosition = 0;
  for (int key = 0; key < 16; ++key) {
    SCOPED_TRACE(kKeyNames[key]);
    const std::string expected(1, kKeyNames[key]);
    const std::string atHundredMs = Detect(key, 1, 800);
    EXPECT_TRUE(atHundredMs.empty() || atHundredMs == expected) << atHundredMs;
    int detected = 0;
    for (int leading = 0; leading < kBlock; ++leading) {
      const std::string digits = Detect(key, 1, 800 + leading);
      EXPECT_TRUE(digits.empty() || digits == expected) << digits << " at " << leading;
      if (digits == expected) ++detected;
    }
    if (detected > 0) ++detectedAtSomePosition;
    std::printf("  key %c: %-8s  detected at %3d of %d positions\n", kKeyNames[key],
                atHundredMs.empty() ? "missed" : "detected", detected, kBlock);
  }
  EXPECT_EQ(detectedAtSomePosition, 16);
}

// A receiver started on the packet itself (as a receiver that synchronises to the packet
// would be) hears every key from one burst.
TEST(DtmfOracleTest, EachBurstAloneIsDetectedByAFreshReceiver) {
  for (int key = 0; key < 16; ++key) {
    SCOPED_TRACE(kKeyNames[key]);
    const std::vector<std::int16_t> burst = ReceivedBurst(key);
    ASSERT_EQ(burst.size(), 240u);
    dtmf_rx_state_t* receiver = dtmf_rx_init(nullptr, nullptr, nullptr);
    ASSERT_NE(receiver, nullptr);
    dtmf_rx(receiver, burst.data(), static_cast<int>(burst.size()));
    char digits[16] = {};
    const std::size_t count = dtmf_rx_get(receiver, digits, sizeof digits - 1);
    dtmf_rx_free(receiver);
    EXPECT_EQ(std::string(digits, count), std::string(1, kKeyNames[key]));
  }
}

// The oracle can fail: silence and a single tone are not keys.
TEST(DtmfOracleTest, TheReceiverRejectsSilenceAndASingleTone) {
  std::vector<std::int16_t> audio(4000, 0);
  dtmf_rx_state_t* receiver = dtmf_rx_init(nullptr, nullptr, nullptr);
  ASSERT_NE(receiver, nullptr);
  dtmf_rx(receiver, audio.data(), static_cast<int>(audio.size()));
  for (std::size_t i = 0; i < audio.size(); ++i) {
    // Truncated rather than rounded: spandsp's headers replace lrint with a macro.
    audio[i] = static_cast<std::int16_t>(
        14745.0 * std::sin(2.0 * 3.141592653589793 * 697.0 * static_cast<double>(i) / 8000.0));
  }
  dtmf_rx(receiver, audio.data(), static_cast<int>(audio.size()));
  char digits[16] = {};
  EXPECT_EQ(dtmf_rx_get(receiver, digits, sizeof digits - 1), 0u);
  dtmf_rx_free(receiver);
}

}  // namespace
}  // namespace media
