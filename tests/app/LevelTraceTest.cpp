#include "app/LevelTrace.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

namespace app {
namespace {

// A capture buffer of 240 samples, all `fill`, as the device delivers it (little-endian).
std::vector<std::uint8_t> Buffer(std::int16_t fill = 0) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < kTraceSamples; ++i) {
    const auto u = static_cast<std::uint16_t>(fill);
    bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  return bytes;
}

void SetSample(std::vector<std::uint8_t>& bytes, std::size_t i, std::int16_t sample) {
  const auto u = static_cast<std::uint16_t>(sample);
  bytes[2 * i] = static_cast<std::uint8_t>(u & 0xFF);
  bytes[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
}

// sample x 50 / 32767 rounded to the nearest integer, halves to even, in exact integer
// arithmetic: an independent reckoning of what the floating-point one must give.
int ExactOffset(int sample) {
  const long long numerator = 50LL * sample;
  const long long denominator = 32767;
  long long quotient = numerator / denominator;
  long long remainder = numerator % denominator;
  if (remainder < 0) {
    remainder += denominator;
    quotient -= 1;
  }
  if (2 * remainder > denominator || (2 * remainder == denominator && quotient % 2 != 0)) {
    quotient += 1;
  }
  return static_cast<int>(quotient);
}

TEST(RoundHalfEvenTest, HalvesGoToTheEvenNeighbour) {
  const struct {
    double X;
    int Rounded;
  } cases[] = {
      {0.0, 0},   {0.49, 0},    {0.5, 0},       {0.51, 1},    {1.5, 2},    {2.5, 2},
      {3.5, 4},   {-0.5, 0},    {-1.5, -2},     {-2.5, -2},   {-0.51, -1}, {-1.49, -1},
      {49.5, 50}, {-50.5, -50}, {1.4999999, 1}, {24.999, 25},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.X);
    EXPECT_EQ(RoundHalfEven(c.X), c.Rounded);
  }
}

TEST(TraceOffsetTest, EverySampleValueMatchesExactRounding) {
  for (int s = -32768; s <= 32767; ++s) {
    const int got = TraceOffset(static_cast<std::int16_t>(s));
    if (got != ExactOffset(s)) {
      ADD_FAILURE() << "sample " << s << ": " << got << " instead of " << ExactOffset(s);
      break;
    }
  }
}

TEST(TraceOffsetTest, KnownValues) {
  const struct {
    std::int16_t Sample;
    int Offset;
  } cases[] = {
      {0, 0},      {327, 0},    {328, 1},    {-328, -1},  {982, 1},      {983, 1},
      {984, 2},    {-983, -1},  {-984, -2},  {1638, 2},   {1639, 3},     {16383, 25},
      {16384, 25}, {16711, 25}, {16712, 26}, {32767, 50}, {-32767, -50}, {-32768, -50},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Sample);
    EXPECT_EQ(TraceOffset(c.Sample), c.Offset);
  }
}

TEST(TraceLevelsTest, SilentBufferIsAFlatLine) {
  const LevelTrace trace = TraceLevels(Buffer());
  ASSERT_EQ(trace.Offsets.size(), kTraceSamples);
  for (int y : trace.Offsets)
    EXPECT_EQ(y, 0);
  EXPECT_EQ(trace.Peak, 0);
  EXPECT_FALSE(IsSpeech(trace.Peak));
}

TEST(TraceLevelsTest, SamplesAreLittleEndianInOrder) {
  std::vector<std::uint8_t> bytes = Buffer();
  bytes[0] = 0xD8;  // 0x03D8 = 984
  bytes[1] = 0x03;
  bytes[2] = 0x03;  // 0xD803 = -10237
  bytes[3] = 0xD8;
  bytes[478] = 0x00;  // 0x8000 = -32768, the last sample
  bytes[479] = 0x80;
  const LevelTrace trace = TraceLevels(bytes);
  ASSERT_EQ(trace.Offsets.size(), kTraceSamples);
  EXPECT_EQ(trace.Offsets[0], 2);
  EXPECT_EQ(trace.Offsets[1], -16);
  EXPECT_EQ(trace.Offsets[239], -50);
  EXPECT_EQ(trace.Peak, 50);
}

TEST(TraceLevelsTest, PositiveSamplesGoDownTheBox) {
  const LevelTrace trace = TraceLevels(Buffer(16384));
  EXPECT_EQ(kTraceMiddle + trace.Offsets[0], 50);  // the bottom edge of the 240 x 50 box
  EXPECT_EQ(kTraceMiddle + TraceLevels(Buffer(-16384)).Offsets[0], 0);
}

TEST(TraceLevelsTest, ShortOrLongBuffersTakeWholeSamplesUpTo240) {
  const std::vector<std::uint8_t> odd{0xD8, 0x03, 0xFF};
  const LevelTrace shortTrace = TraceLevels(odd);
  EXPECT_EQ(shortTrace.Offsets, std::vector<int>{2});
  EXPECT_EQ(shortTrace.Peak, 2);
  EXPECT_TRUE(TraceLevels({}).Offsets.empty());
  EXPECT_EQ(TraceLevels({}).Peak, 0);

  std::vector<std::uint8_t> longer = Buffer();
  longer.push_back(0x00);  // a 241st sample of -32768 lies beyond the frame
  longer.push_back(0x80);
  const LevelTrace trace = TraceLevels(longer);
  EXPECT_EQ(trace.Offsets.size(), kTraceSamples);
  EXPECT_EQ(trace.Peak, 0);
}

TEST(SilenceGateTest, PeakOfTwoIsSpeech) {
  EXPECT_FALSE(IsSpeech(0));
  EXPECT_FALSE(IsSpeech(1));
  EXPECT_TRUE(IsSpeech(2));
  EXPECT_TRUE(IsSpeech(50));
}

TEST(SilenceGateTest, OneSampleAroundTheThresholdInEveryPlace) {
  // Every magnitude around the threshold, of either sign, alone in a silent buffer, at the
  // first, a middle and the last place.
  for (int magnitude = 950; magnitude <= 1020; ++magnitude) {
    for (int sign : {1, -1}) {
      for (std::size_t place : {std::size_t{0}, std::size_t{117}, kTraceSamples - 1}) {
        const auto sample = static_cast<std::int16_t>(sign * magnitude);
        SCOPED_TRACE(::testing::Message() << "sample " << sample << " at " << place);
        std::vector<std::uint8_t> bytes = Buffer();
        SetSample(bytes, place, sample);
        const LevelTrace trace = TraceLevels(bytes);
        EXPECT_EQ(IsSpeech(trace.Peak), magnitude >= 984);
        EXPECT_EQ(trace.Offsets[place], sign * (magnitude >= 984 ? 2 : 1));
      }
    }
  }
}

TEST(SilenceGateTest, LoudestSilenceIsWithinOnePixelAndNotSent) {
  // Every value from -983 to 983 in turn, as many buffers as it takes.
  int next = -983;
  while (next <= 983) {
    std::vector<std::uint8_t> bytes = Buffer();
    for (std::size_t i = 0; i < kTraceSamples && next <= 983; ++i, ++next) {
      SetSample(bytes, i, static_cast<std::int16_t>(next));
    }
    const LevelTrace trace = TraceLevels(bytes);
    EXPECT_LE(trace.Peak, 1);
    EXPECT_FALSE(IsSpeech(trace.Peak));
    for (int y : trace.Offsets)
      EXPECT_LE(std::abs(y), 1);
  }
  // The edges themselves, filling whole buffers.
  EXPECT_FALSE(IsSpeech(TraceLevels(Buffer(983)).Peak));
  EXPECT_FALSE(IsSpeech(TraceLevels(Buffer(-983)).Peak));
}

TEST(SilenceGateTest, OneSampleOfMinus984SendsTheFrame) {
  std::vector<std::uint8_t> bytes = Buffer(983);
  SetSample(bytes, 100, -984);
  const LevelTrace trace = TraceLevels(bytes);
  EXPECT_EQ(trace.Peak, 2);
  EXPECT_TRUE(IsSpeech(trace.Peak));
}

}  // namespace
}  // namespace app
