// The audio engine of a call.
//
// Capture (window's thread): the capture device Posts kWaveInData per filled 480-byte block to
// the window; the window's handler, after its silence gate, calls InputDone, which codes the
// block to A-law and sends it as one RTP packet through the linked RTCP endpoint.
// Playback (a thread of its own per call): receives RTP through the RTCP endpoint, decodes it
// and plays it in three 480-byte blocks; a block is reused once the device has marked it done.
// DTMF keys are sent and played locally.
//
// Locks: OutputLock over the playback side, InputLock over the capture side and sending; no
// operation holds both. The engine talks to a platform::WaveBackend only.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "media/RtcpClient.h"
#include "platform/HandOff.h"
#include "platform/WaveDevice.h"

namespace media {

inline constexpr int kWaveBufferCount = 3;
// 30 ms of 16-bit mono at 8000 Hz: one RTP packet of 240 A-law bytes.
inline constexpr std::size_t kWaveBufferBytes = 480;
// Device number that no device answers to, until a device has been chosen.
inline constexpr std::int32_t kNoDeviceChosen = -2;
// At most 200 ms of received audio waits for a free playback block; beyond that the oldest is
// dropped, so a sender that runs fast cannot build up delay for the rest of the call.
inline constexpr std::size_t kMaxPendingOutput = 3200;

class TPCMA {
 public:
  // Create: opens no device.
  TPCMA(const platform::Window& window, platform::WaveBackend& wave);
  // Destroy: stops and unlinks.
  virtual ~TPCMA();
  TPCMA(const TPCMA&) = delete;
  TPCMA& operator=(const TPCMA&) = delete;

  // Stops, links the endpoint (or none) and, with an endpoint, starts the playback thread and
  // opens capture.
  void Start(TRTCPClient* rtcpClient);
  // Closes capture, ends the playback thread (without killing it) and closes playback. Nothing
  // happens when nothing runs.
  void Stop();

  bool OpenOutput();
  void CloseOutput();
  bool OpenInput();
  void CloseInput();

  // A capture notification that passed the silence gate: a full block from the open capture
  // device is coded and sent; the header always goes back to `device`.
  void InputDone(platform::WaveHandle device, platform::WaveHeader& header);
  // A-law bytes as RTP payload type 8, at most 480 bytes per packet.
  void SendAudio(std::string_view alaw);
  // Linear audio for the playback device; dropped when playback is not open.
  void Play(std::string_view linear);
  // One 30 ms burst of the key's tones, sent and played locally.
  void SendDigit(std::int32_t key);
  // The body of the playback thread.
  void PlaybackLoop();

  const platform::Window Window;
  std::mutex OutputLock;
  std::mutex InputLock;
  TRTCPClient* RTCPClient = nullptr;
  std::thread Thread;
  std::atomic<std::uint8_t> Running{0};
  // Written by the device choice on the window's thread, read when a device is opened.
  std::atomic<std::int32_t> OutputDevice{kNoDeviceChosen};
  platform::WaveHandle WaveOut = platform::kNoWaveHandle;
  // The user word of each header is its InUse: 1 once handed to the device since the open.
  std::array<platform::WaveHeader, kWaveBufferCount> OutputBuffers;
  std::int32_t NextOutput = 0;
  std::string PendingOutput;
  std::atomic<std::int32_t> InputDevice{kNoDeviceChosen};
  platform::WaveHandle WaveIn = platform::kNoWaveHandle;
  std::array<platform::WaveHeader, kWaveBufferCount> InputBuffers;

 private:
  platform::WaveBackend& wave_;
  std::array<std::array<char, kWaveBufferBytes>, 2 * kWaveBufferCount> blocks_{};
};

}  // namespace media
