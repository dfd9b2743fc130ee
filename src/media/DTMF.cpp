#include "media/DTMF.h"

#include <cmath>

namespace media {

namespace {

// 2 pi in single precision.
constexpr float kTurn = 6.2831855f;
// 2 pi / 8000: the angle of one sample at 1 Hz.
constexpr float kAnglePerSample = 0.000785398163397448f;
// Each tone at 0.9 before the pair is halved: 0.45 of full scale per tone, 0.9 at most in all.
constexpr float kToneLevel = 0.9f;
constexpr float kFullScale = 32767.0f;

}  // namespace

float WrapPhase(float phase) {
  return phase - std::trunc(phase / kTurn) * kTurn;
}

float ToneSample(float time, float frequency) {
  return std::sin(WrapPhase(frequency * time));
}

std::string DTMFTone(std::int32_t key, std::int32_t size) {
  if (key < 0 || key >= static_cast<std::int32_t>(DTMFFrequencies.size()) || size < 0) return {};
  const TDTMFPair pair = DTMFFrequencies[static_cast<std::size_t>(key)];
  const auto row = static_cast<float>(pair.Row);
  const auto column = static_cast<float>(pair.Column);
  std::string tone(static_cast<std::size_t>(size), '\0');
  const std::size_t samples = tone.size() / 2;
  for (std::size_t n = 0; n < samples; ++n) {
    const float time = static_cast<float>(n) * kAnglePerSample;
    const float a = kToneLevel * ToneSample(time, row);
    const float b = kToneLevel * ToneSample(time, column);
    const float v = (a + b) * 0.5f;
    // Nearest integer, halves to even (the default rounding mode); |v| <= 0.9, so it fits.
    const auto sample =
        static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lrint(kFullScale * v)));
    tone[2 * n] = static_cast<char>(sample & 0xFF);
    tone[2 * n + 1] = static_cast<char>(sample >> 8);
  }
  return tone;
}

}  // namespace media
