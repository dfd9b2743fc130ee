// DTMF synthesis: the first samples to the unit, the key range and lengths, and each tone's
// two frequencies measured with a Goertzel filter of the test's own.
#include "media/DTMF.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "media/G711.h"

namespace media {
namespace {

constexpr char kKeyNames[] = "0123456789*#ABCD";

std::vector<int> Samples(const std::string& linear) {
  std::vector<int> samples;
  for (std::size_t i = 0; i + 1 < linear.size(); i += 2) {
    samples.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(
        static_cast<unsigned char>(linear[i]) | (static_cast<unsigned char>(linear[i + 1]) << 8))));
  }
  return samples;
}

TEST(DtmfSampleTest, KeyOneStartsAsListed) {
  const std::vector<int> samples = Samples(DTMFTone(1, 480));
  ASSERT_EQ(samples.size(), 240u);
  EXPECT_EQ(std::vector<int>(samples.begin(), samples.begin() + 5),
            (std::vector<int>{0, 19665, 27064, 18966, 3009}));
}

TEST(DtmfSampleTest, KeyZeroStartsAsListed) {
  const std::vector<int> samples = Samples(DTMFTone(0, 480));
  ASSERT_EQ(samples.size(), 240u);
  EXPECT_EQ(std::vector<int>(samples.begin(), samples.begin() + 5),
            (std::vector<int>{0, 22717, 27421, 11678, -10114}));
}

TEST(DtmfSampleTest, EveryKeyStartsAtZeroAndStaysBelowNineTenthsOfFullScale) {
  for (int key = 0; key < 16; ++key) {
    SCOPED_TRACE(kKeyNames[key]);
    const std::vector<int> samples = Samples(DTMFTone(key, kDTMFBurstBytes));
    ASSERT_EQ(samples.size(), 240u);
    EXPECT_EQ(samples[0], 0);
    int peak = 0;
    for (const int s : samples)
      peak = std::max(peak, std::abs(s));
    EXPECT_LE(peak, 29491);  // 0.9 x 32767, rounded
    EXPECT_GT(peak, 20000);  // the two tones do add up somewhere in 30 ms
  }
}

TEST(DtmfSampleTest, ToneSampleIsTheSineOfTheWrappedPhase) {
  EXPECT_EQ(WrapPhase(0.0f), 0.0f);
  EXPECT_EQ(WrapPhase(1.0f), 1.0f);
  EXPECT_EQ(WrapPhase(6.2831855f), 0.0f);
  EXPECT_EQ(WrapPhase(-1.0f), -1.0f);  // towards zero: negative phases stay negative
  EXPECT_FLOAT_EQ(WrapPhase(7.0f), 7.0f - 6.2831855f);
  EXPECT_FLOAT_EQ(WrapPhase(-7.0f), -7.0f + 6.2831855f);
  EXPECT_FLOAT_EQ(WrapPhase(100.0f), 100.0f - 15.0f * 6.2831855f);
  EXPECT_EQ(ToneSample(0.0f, 697.0f), 0.0f);
  const float time = 3.0f * 0.000785398163397448f;
  EXPECT_EQ(ToneSample(time, 1209.0f), std::sin(WrapPhase(1209.0f * time)));
}

TEST(DtmfSampleTest, FrequencyTableIsTheKeypad) {
  const std::uint16_t rows[4] = {697, 770, 852, 941};
  const std::uint16_t columns[4] = {1209, 1336, 1477, 1633};
  const char keypad[4][5] = {"123A", "456B", "789C", "*0#D"};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      const char name = keypad[r][c];
      const auto key = static_cast<std::size_t>(std::string_view(kKeyNames).find(name));
      SCOPED_TRACE(name);
      EXPECT_EQ(DTMFFrequencies[key].Row, rows[r]);
      EXPECT_EQ(DTMFFrequencies[key].Column, columns[c]);
    }
  }
}

TEST(DtmfKeyRangeTest, KeysOutsideTheKeypadGiveNothing) {
  EXPECT_EQ(DTMFTone(16, 480), "");
  EXPECT_EQ(DTMFTone(-1, 480), "");
  EXPECT_EQ(DTMFTone(INT32_MIN, 480), "");
  EXPECT_EQ(DTMFTone(INT32_MAX, 480), "");
  EXPECT_EQ(DTMFTone(15, 480).size(), 480u);
  EXPECT_EQ(DTMFTone(0, 480).size(), 480u);
}

TEST(DtmfKeyRangeTest, SizeIsTheLengthInBytes) {
  EXPECT_EQ(DTMFTone(5, 0), "");
  EXPECT_EQ(DTMFTone(5, 160).size(), 160u);
  EXPECT_EQ(DTMFTone(5, 2), std::string(2, '\0'));  // sample 0 is 0
  // An odd size holds size / 2 samples; the last byte stays zero.
  const std::string odd = DTMFTone(5, 481);
  ASSERT_EQ(odd.size(), 481u);
  EXPECT_EQ(odd.substr(0, 480), DTMFTone(5, 480));
  EXPECT_EQ(odd[480], '\0');
  // A negative size cannot be a length: nothing rather than a huge allocation.
  EXPECT_EQ(DTMFTone(5, -2), "");
  // A longer tone continues the same one.
  EXPECT_EQ(DTMFTone(5, 960).substr(0, 480), DTMFTone(5, 480));
}

// The amplitude of the component at `frequency` (Hz), from a Hann-windowed Goertzel filter
// evaluated at that exact frequency. The window keeps the other tone's leakage far below 1 %.
double GoertzelAmplitude(const std::vector<int>& samples, double frequency) {
  const double n = static_cast<double>(samples.size());
  const double omega = 2.0 * std::numbers::pi * frequency / 8000.0;
  const double coefficient = 2.0 * std::cos(omega);
  double previous = 0.0;
  double beforePrevious = 0.0;
  double windowSum = 0.0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double window =
        0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / (n - 1));
    windowSum += window;
    const double current =
        static_cast<double>(samples[i]) * window + coefficient * previous - beforePrevious;
    beforePrevious = previous;
    previous = current;
  }
  const double power = previous * previous + beforePrevious * beforePrevious -
                       coefficient * previous * beforePrevious;
  return 2.0 * std::sqrt(std::max(power, 0.0)) / windowSum;
}

// The frequency of the strongest component within 5 % of `nominal`, in steps of 0.5 Hz.
double PeakFrequency(const std::vector<int>& samples, double nominal) {
  double best = nominal;
  double bestAmplitude = -1.0;
  for (double f = nominal * 0.95; f <= nominal * 1.05; f += 0.5) {
    const double amplitude = GoertzelAmplitude(samples, f);
    if (amplitude > bestAmplitude) {
      bestAmplitude = amplitude;
      best = f;
    }
  }
  return best;
}

void CheckTones(const char* label, bool throughALaw) {
  constexpr double kExpected = 0.45 * 32767.0;
  std::printf("Goertzel, 240 samples, %s: key row Hz (peak Hz, amplitude/FS) column Hz (...)\n",
              label);
  const std::uint16_t all[8] = {697, 770, 852, 941, 1209, 1336, 1477, 1633};
  for (int key = 0; key < 16; ++key) {
    SCOPED_TRACE(kKeyNames[key]);
    std::string linear = DTMFTone(key, kDTMFBurstBytes);
    if (throughALaw) linear = ALawDecode(ALawEncode(linear));
    const std::vector<int> samples = Samples(linear);
    ASSERT_EQ(samples.size(), 240u);
    const TDTMFPair pair = DTMFFrequencies[static_cast<std::size_t>(key)];
    std::printf("  %c", kKeyNames[key]);
    for (const std::uint16_t tone : {pair.Row, pair.Column}) {
      const double peak = PeakFrequency(samples, tone);
      const double amplitude = GoertzelAmplitude(samples, tone);
      std::printf("  %4u (%7.1f, %.4f)", tone, peak, amplitude / 32767.0);
      EXPECT_NEAR(peak, tone, tone * 0.015);
      EXPECT_NEAR(amplitude, kExpected, kExpected * 0.01);
    }
    std::printf("\n");
    // The six other keypad frequencies are absent: what shows there is the window's leakage
    // from a neighbour 73 Hz or more away (at most about 1.2 % of full scale over 30 ms).
    for (const std::uint16_t other : all) {
      if (other == pair.Row || other == pair.Column) continue;
      EXPECT_LT(GoertzelAmplitude(samples, other), 0.03 * 32767.0) << other << " Hz";
    }
  }
}

TEST(DtmfGoertzelTest, EachKeyHasItsTwoTonesAtTheirLevel) {
  CheckTones("linear", false);
}

TEST(DtmfGoertzelTest, EachKeyKeepsItsTwoTonesThroughALaw) {
  CheckTones("through A-law", true);
}

}  // namespace
}  // namespace media
