// A-law coding and the DTMF bursts against spandsp (decoder, ITU reference encoder, DTMF
// receiver) and sox; the level trace's arithmetic and the silence gate.
#include <spandsp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "media/DTMF.h"
#include "media/G711.h"
#include "media/LevelTrace.h"
#include "support/Command.h"

namespace media {
namespace {

int SampleAt(const std::string& linear, std::size_t n) {
  return static_cast<std::int16_t>(static_cast<unsigned char>(linear[2 * n]) |
                                   static_cast<unsigned char>(linear[2 * n + 1]) << 8);
}

TEST(G711Test, DecodesEveryCodeLikeSpandspAndSox) {
  std::string codes;
  for (int i = 0; i < 1280; ++i)
    codes += static_cast<char>(i);  // each code 5 times, 16 units
  const std::string linear = ALawDecode(codes);
  ASSERT_EQ(linear.size(), 2 * codes.size());
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const auto code = static_cast<std::uint8_t>(codes[i]);
    SCOPED_TRACE(i);
    EXPECT_EQ(SampleAt(linear, i), alaw_to_linear(code));
  }
  const auto sox = testsupport::RunCommand("sox -V1 -t al -r 8000 -c 1 - -t s16 -", codes);
  EXPECT_EQ(sox.ExitCode, 0);
  EXPECT_EQ(sox.Output, linear);
}

// ours(s) == reference(s < 0 ? min(s + 7, -1) : s): our negative decision levels lie 8 lower.
TEST(G711Test, EncodesEverySampleLikeTheReferenceOneStepLowerBelowZero) {
  std::string linear;
  for (int s = -32768; s <= 32767; ++s)
    linear += {static_cast<char>(s & 0xFF), static_cast<char>(s >> 8)};
  linear.resize(2 * 65600);  // whole 10 ms units
  const std::string codes = ALawEncode(linear);
  ASSERT_EQ(codes.size(), 65600u);
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const int s = SampleAt(linear, i);
    ASSERT_EQ(static_cast<std::uint8_t>(codes[i]), linear_to_alaw(s < 0 ? std::min(s + 7, -1) : s))
        << "sample " << s;
  }
}

TEST(G711Test, PartialUnitsGiveNothing) {
  for (const std::size_t size : {2, 80, 158, 162, 240}) {
    SCOPED_TRACE(size);
    EXPECT_EQ(ALawEncode(std::string(size, '\x01')), "");
    EXPECT_EQ(ALawDecode(std::string(size - 1, '\xD5')), "");
  }
}

TEST(DtmfTest, EveryKeyIsTwoSinesThatSpandspHearsAfterALaw) {
  const std::string names = "0123456789*#ABCD";
  for (int key = 0; key < 16; ++key) {
    SCOPED_TRACE(names[key]);
    const std::string burst = DTMFTone(key, 480);
    ASSERT_EQ(burst.size(), 480u);
    // ITU-T Q.23: the rows 697, 770, 852, 941 Hz; the columns 1209, 1336, 1477, 1633 Hz.
    const std::size_t at =
        std::string("123A456B789C*0#D").find(names[static_cast<std::size_t>(key)]);
    const double row = std::array{697, 770, 852, 941}[at / 4];
    const double column = std::array{1209, 1336, 1477, 1633}[at % 4];
    const std::string coded = ALawDecode(ALawEncode(burst));
    std::vector<std::int16_t> heard(240);
    for (std::size_t n = 0; n < 240; ++n) {
      const double t = 2 * std::numbers::pi * static_cast<double>(n) / 8000;
      ASSERT_NEAR(SampleAt(burst, n), 0.45 * 32767 * (std::sin(row * t) + std::sin(column * t)), 1)
          << "sample " << n;
      heard[n] = static_cast<std::int16_t>(SampleAt(coded, n));
    }
    std::string digits;
    dtmf_rx_state_t* receiver = dtmf_rx_init(
        nullptr,
        [](void* to, const char* d, int n) { static_cast<std::string*>(to)->append(d, n); },
        &digits);
    dtmf_rx(receiver, heard.data(), static_cast<int>(heard.size()));
    dtmf_rx_free(receiver);
    EXPECT_EQ(digits, std::string(1, names[static_cast<std::size_t>(key)]));
  }
}

TEST(DtmfTest, BadArgumentsGiveNothingAndAnOddSizeEndsInZero) {
  for (const auto& [key, size] : std::vector<std::pair<int, int>>{{-1, 480}, {16, 480}, {5, -2}}) {
    SCOPED_TRACE(testing::Message() << key << " " << size);
    EXPECT_EQ(DTMFTone(key, size), "");
  }
  EXPECT_EQ(DTMFTone(5, 481), DTMFTone(5, 480) + '\0');
}

TEST(LevelTraceTest, OffsetsPeakAndTheSilenceGate) {
  // 50 at full scale (32767), so no sample falls on a half.
  const std::pair<std::int16_t, int> samples[] = {{0, 0},   {327, 0},   {328, 1},    {983, 1},
                                                  {984, 2}, {-984, -2}, {32767, 50}, {-32768, -50}};
  for (const auto& [sample, offset] : samples)
    EXPECT_EQ(TraceOffset(sample), offset) << sample;
  for (const auto& [half, even] : {std::pair{2.5, 2}, {3.5, 4}, {-2.5, -2}})
    EXPECT_EQ(RoundHalfEven(half), even) << half;  // the helper alone meets halves
  std::vector<std::uint8_t> frame(483, 0);         // past one frame, the bytes are not read
  frame[2] = 0x18, frame[3] = 0xFC;                // -1000 in sample 1
  frame[480] = frame[481] = 0x7F;
  const TLevelTrace trace = TraceLevels(frame);
  EXPECT_EQ(trace.Offsets.size(), 240u);
  EXPECT_EQ(trace.Offsets[1], -2);
  EXPECT_EQ(trace.Peak, 2);
  EXPECT_TRUE(IsSpeech(2));
  EXPECT_FALSE(IsSpeech(1));
  EXPECT_EQ(TraceLevels(std::vector<std::uint8_t>(3, 0x7F)).Offsets.size(), 1u);
}

}  // namespace
}  // namespace media
