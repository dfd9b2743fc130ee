// Helpers for the audio engine's tests: a main loop whose window hands capture notifications to
// an engine, bounded waits, and test signals.
#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "media/Pcma.h"
#include "platform/EventLoopHandOff.h"
#include "platform/HandOff.h"
#include "platform/WaveDevice.h"

namespace media::testing {

// Polls `done` every millisecond until it holds or `timeout` passes; returns whether it holds.
inline bool Eventually(const std::function<bool()>& done,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The window as far as audio goes: every capture notification is handed to the engine (the
// silence gate belongs to the window and is not part of these tests).
class CaptureWindow final : public platform::MessageTarget {
 public:
  void HandleWindowMessage(const platform::WindowMessage& message) override {
    if (message.Message == platform::kWaveInData && Engine != nullptr) {
      ++Notifications;
      Engine->InputDone(static_cast<platform::WaveHandle>(message.WParam),
                        *reinterpret_cast<platform::WaveHeader*>(message.LParam));
    }
    if (message.Message == platform::kDeviceChange) ++DeviceChanges;
  }

  TPCMA* Engine = nullptr;
  int Notifications = 0;
  int DeviceChanges = 0;
};

// `bytes` of linear audio, every sample different from its neighbours and loud enough to pass
// any silence gate: a sawtooth that starts at `seed`.
inline std::string Signal(std::size_t bytes, int seed = 0) {
  std::string linear(bytes, '\0');
  for (std::size_t i = 0; i + 1 < bytes; i += 2) {
    const auto sample =
        static_cast<std::int16_t>(((static_cast<int>(i / 2) * 397 + seed * 1009) % 40000) - 20000);
    linear[i] = static_cast<char>(sample & 0xFF);
    linear[i + 1] = static_cast<char>((sample >> 8) & 0xFF);
  }
  return linear;
}

// A sine tone at `frequency` Hz and `amplitude` of full scale, 8000 Hz, 16-bit little-endian.
inline std::string Tone(std::size_t samples, double frequency, double amplitude = 0.5,
                        std::size_t startSample = 0) {
  std::string linear(2 * samples, '\0');
  for (std::size_t i = 0; i < samples; ++i) {
    const double phase =
        2.0 * 3.141592653589793 * frequency * static_cast<double>(i + startSample) / 8000.0;
    const auto sample =
        static_cast<std::int16_t>(std::lround(amplitude * 32767.0 * std::sin(phase)));
    linear[2 * i] = static_cast<char>(sample & 0xFF);
    linear[2 * i + 1] = static_cast<char>((sample >> 8) & 0xFF);
  }
  return linear;
}

}  // namespace media::testing
