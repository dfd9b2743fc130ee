// The arithmetic of a capture block: each 30 ms block becomes a level trace for the 240 x 50
// paint box and a peak, and the peak decides whether the frame is speech (sent) or silence
// (given straight back to the capture device). The audio engine gates with it on the device's
// thread, the window draws the trace on the main thread; no drawing here, so that the numbers
// are tested without a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/WaveDevice.h"

namespace media {

// One 30 ms frame of 8000 Hz signed 16-bit little-endian mono samples.
inline constexpr std::size_t kTraceSamples = platform::kFrameBytes / 2;
// The trace's middle line and its scale: full scale is 50 pixels either way of it.
inline constexpr int kTraceMiddle = 25;
inline constexpr double kTraceScale = 50.0;
inline constexpr double kFullScaleSample = 32767.0;
// The smallest peak of a frame that is sent. It is reached exactly by a sample of magnitude
// 984 or more.
inline constexpr int kSpeechPeak = 2;

struct TLevelTrace {
  // y of each sample, from the middle line; positive samples go down the box. Point i of
  // the trace is (i, kTraceMiddle + Offsets[i]). Values beyond +-25 fall outside the box.
  std::vector<int> Offsets;
  // The largest magnitude among Offsets; 0 for an empty buffer.
  int Peak = 0;
};

// The nearest integer to `x`, halves to even, whatever the thread's floating-point rounding
// mode.
int RoundHalfEven(double x);

// y for one sample: sample x 50 / 32767 in floating point, rounded to the nearest integer
// with halves to even. (No 16-bit sample lands exactly on a half: that would need 100 x sample
// to be an odd multiple of 32767, which shares no factor with 100.)
int TraceOffset(std::int16_t sample);

// The trace of `buffer`: one point per whole little-endian sample, at most kTraceSamples; a
// trailing odd byte and bytes past one frame are ignored.
TLevelTrace TraceLevels(std::span<const std::uint8_t> buffer);
inline TLevelTrace TraceLevels(std::string_view buffer) {
  return TraceLevels(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(buffer.data()), buffer.size()));
}

// The silence gate: true when the frame with this peak is to be encoded and sent.
inline bool IsSpeech(int peak) {
  return peak >= kSpeechPeak;
}

}  // namespace media
