// The wave-device layer over a PulseAudio server (PipeWire's pulse server included), through
// libpulse on a PulseLoop. Streams are 8000 Hz mono s16le. Playback asks for a target buffer
// of three 30 ms blocks and starts as soon as one block is there, with 15 ms of silence ahead
// of the block that (re)starts it; a block is marked done once the server holds it within that
// target (it keeps a copy), or, written beyond the target, once the server has played enough
// to take it in. Capture asks for 480-byte fragments and the layer cuts what arrives into
// exactly 480-byte blocks, posting MessageNumber::WaveInData for each; while it runs, the loop
// reads the server's messages when the next block is due rather than as each comes. Device numbers
// are positions among the sinks (playback) and the sources that are not monitors (capture), in the
// server's order; the server's default sink and source stand in for the system's preferred devices,
// its subscription events for the device-change message.
//
// The server is reached lazily and again after it went away; with no server every open fails
// with kWaveNoDriver and the lists are empty. Every wait on the server is bounded.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/WaveDevice.h"

namespace platform {

// What the server granted a stream, in bytes.
struct PulseBufferSizes {
  std::uint32_t TargetLength = 0;
  std::uint32_t Prebuffer = 0;
  std::uint32_t MinimumRequest = 0;
  std::uint32_t Fragment = 0;
};

class PulseWaveBackend final : public WaveBackend {
 public:
  // `server` as PULSE_SERVER spells it; empty takes the client's usual choice. `timeout`
  // bounds every wait on the server.
  explicit PulseWaveBackend(std::string server = {},
                            std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
  ~PulseWaveBackend() override;
  PulseWaveBackend(const PulseWaveBackend&) = delete;
  PulseWaveBackend& operator=(const PulseWaveBackend&) = delete;

  std::vector<WaveDeviceInfo> OutputDevices() override;
  std::vector<WaveDeviceInfo> InputDevices() override;
  std::string DefaultOutput() override;
  std::string DefaultInput() override;
  bool WatchDevices(const Window& window) override;
  void UnwatchDevices() override;

  int OutOpen(WaveHandle& handle, std::int32_t device, const WaveFormat& format) override;
  int OutPrepareHeader(WaveHandle handle, WaveHeader& header) override;
  int OutWrite(WaveHandle handle, WaveHeader& header) override;
  int OutReset(WaveHandle handle) override;
  int OutUnprepareHeader(WaveHandle handle, WaveHeader& header) override;
  int OutClose(WaveHandle handle) override;

  int InOpen(WaveHandle& handle, std::int32_t device, const WaveFormat& format,
             const Window& window) override;
  int InPrepareHeader(WaveHandle handle, WaveHeader& header) override;
  int InAddBuffer(WaveHandle handle, WaveHeader& header) override;
  int InStart(WaveHandle handle) override;
  int InReset(WaveHandle handle) override;
  int InUnprepareHeader(WaveHandle handle, WaveHeader& header) override;
  int InClose(WaveHandle handle) override;

  // The sizes granted to an open stream of either kind.
  std::optional<PulseBufferSizes> BufferSizes(WaveHandle handle);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
