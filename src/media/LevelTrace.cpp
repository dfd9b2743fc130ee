#include "media/LevelTrace.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace media {

// By hand rather than std::nearbyint, so that the result does not hang on the thread's
// rounding mode.
int RoundHalfEven(double x) {
  const double below = std::floor(x);
  const double fraction = x - below;
  double rounded = below;
  if (fraction > 0.5) {
    rounded = below + 1.0;
  } else if (fraction == 0.5) {
    rounded = std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
  }
  return static_cast<int>(rounded);
}

int TraceOffset(std::int16_t sample) {
  return RoundHalfEven(static_cast<double>(sample) * kTraceScale / kFullScaleSample);
}

TLevelTrace TraceLevels(std::span<const std::uint8_t> buffer) {
  const std::size_t count = std::min(buffer.size() / 2, kTraceSamples);
  TLevelTrace trace;
  trace.Offsets.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    // Assembled from the bytes, so that the host's byte order does not matter.
    const auto sample = static_cast<std::int16_t>(
        static_cast<std::uint16_t>(buffer[2 * i] | (buffer[2 * i + 1] << 8)));
    const int y = TraceOffset(sample);
    trace.Offsets.push_back(y);
    trace.Peak = std::max(trace.Peak, std::abs(y));
  }
  return trace;
}

}  // namespace media
