// Linear audio as the codec takes it: 16-bit samples, low byte first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media::testing {

inline std::string Linear(const std::vector<std::int16_t>& samples) {
  std::string bytes;
  for (const std::int16_t sample : samples) {
    const auto bits = static_cast<std::uint16_t>(sample);
    bytes.push_back(static_cast<char>(bits & 0xFF));
    bytes.push_back(static_cast<char>(bits >> 8));
  }
  return bytes;
}

}  // namespace media::testing
