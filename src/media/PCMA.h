// The audio engine of a call.
//
// Capture (the audio server's thread): the capture device notifies the engine itself of each
// filled 480-byte block, on the thread that filled it. A block that passes the silence gate is
// coded to A-law and sent as one RTP packet through the linked RTCP endpoint from there, at the
// pace the microphone sets, without waiting for the window's thread; the block goes back to the
// device and its samples are Posted to the window given at creation
// (platform::MessageNumber::CapturedSamples), which draws the level trace. Playback (a thread of
// its own per call): opens both devices, then receives RTP through the RTCP endpoint, decodes it
// and plays it in three 480-byte blocks; a block is reused once the device has marked it done.
// DTMF keys are sent and played locally.
//
// An audio server may take seconds to open a device (or not answer at all): the devices are
// opened on the call's thread, never on the window's, and a call that ends meanwhile does not
// wait for them. Its thread closes what it opens late and ends by itself; it is joined at the
// next Start or at the end.
//
// Locks: OutputLock over the playback side, InputLock over the capture side and sending, so that
// captured blocks and keys never interleave; no operation holds both. The engine talks to a
// platform::WaveBackend only.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "media/RTCPClient.h"
#include "platform/HandOff.h"
#include "platform/WaveDevice.h"

namespace media {

inline constexpr int kWaveBufferCount = 3;
// Device number that no device answers to, until a device has been chosen.
inline constexpr std::int32_t kNoDeviceChosen = -2;
// At most 200 ms of received audio waits for a free playback block; beyond that the oldest is
// dropped, so a sender that runs fast cannot build up delay for the rest of the call.
inline constexpr std::size_t kMaxPendingOutput = 3200;

class TPCMA : public platform::MessageTarget {
 public:
  // Create: opens no device.
  TPCMA(const platform::Window& window, platform::WaveBackend& wave);
  // Destroy: stops and unlinks.
  virtual ~TPCMA();
  TPCMA(const TPCMA&) = delete;
  TPCMA& operator=(const TPCMA&) = delete;

  // Stops, links the endpoint (or none) and, with an endpoint, starts the call's thread, which
  // opens capture and playback.
  void Start(TRTCPClient* rtcpClient);
  // Closes capture, ends the call's thread (without killing it; without waiting for it while it
  // opens a device) and closes playback. Nothing happens when nothing runs.
  void Stop();
  // The call's sending ends, its playback goes on (the RTCP BYE follows, while the far end may
  // still be heard): capture closes, a capture device still opening is closed when it opens,
  // and nothing more is sent until the next Start.
  void EndSending();

  // One device outside a call, on the calling thread (the latency benchmark's): whether it
  // opened (capture: and took its blocks and started).
  bool OpenOutput();
  void CloseOutput() { CloseOutputOf(nullptr); }
  bool OpenInput();
  void CloseInput();

  // A capture notification, on the device's thread: a full block from the open capture device
  // that passes the silence gate is coded and sent, the header goes back to the device, and the
  // samples go on to the window. A block of a device that is closing stays with it.
  void InputDone(platform::WaveHandle device, platform::WaveHeader& header);
  void HandleWindowMessage(const platform::WindowMessage& message) override;
  // A-law bytes as RTP payload type 8, at most 480 bytes per packet.
  void SendAudio(std::string_view alaw);
  // Linear audio for the playback device; dropped when playback is not open.
  void Play(std::string_view linear);
  // One 30 ms burst of the key's tones, sent and played locally.
  void SendDigit(std::int32_t key);

  // The device numbers opened at the start of the next call (written by the device choice).
  void SetOutputDevice(std::int32_t device) { outputDevice_ = device; }
  void SetInputDevice(std::int32_t device) { inputDevice_ = device; }

 private:
  // What a call's thread shares with the engine; it may outlive the call while a device opens.
  struct Call {
    std::atomic<bool> Stopped{false};
    bool Receiving = false;  // under callLock_: past the devices, in the receive loop
    std::atomic<bool> Ended{false};
  };
  struct Retired {
    std::thread Thread;
    std::shared_ptr<Call> Of;
  };

  // The body of the call's thread.
  void CallLoop(std::shared_ptr<Call> call);
  // Delivers the capture device's notifications on the thread that posts them.
  class OnPostingThread final : public platform::HandOff {
   public:
    bool Send(platform::MessageTarget& target, const platform::WindowMessage& message,
              std::stop_token stop) override;
    void Post(platform::MessageTarget& target, const platform::WindowMessage& message,
              std::stop_token stop) override;
    void PostAfter(platform::MessageTarget& target, const platform::WindowMessage& message,
                   std::chrono::milliseconds delay, std::stop_token stop) override;
  };

  // Under inputLock_.
  void SendLocked(std::string_view alaw);
  // What the devices opened outside a call belong to.
  static const Call& OutsideACall();
  // Open a device for `call`; one that opens after the call ended is closed unused.
  bool OpenInput(const Call& call);
  bool OpenOutput(const Call& call);
  // Closes playback when `call` opened it (none: whoever did).
  void CloseOutputOf(const Call* call);
  // Joins the threads of ended calls that have finished (all of them: `all`).
  void JoinRetired(bool all);

  const platform::Window window_;
  platform::WaveBackend& wave_;
  std::mutex outputLock_;
  std::mutex inputLock_;
  bool sending_ = true;  // under inputLock_
  TRTCPClient* rtcpClient_ = nullptr;
  std::mutex callLock_;
  std::shared_ptr<Call> call_;
  std::thread thread_;
  std::vector<Retired> retired_;
  std::atomic<std::int32_t> outputDevice_{kNoDeviceChosen};
  platform::WaveHandle waveOut_ = platform::kNoWaveHandle;
  const Call* outputOf_ = nullptr;  // the call that opened playback
  // The user word of each header is its InUse: 1 once handed to the device since the open.
  std::array<platform::WaveHeader, kWaveBufferCount> outputBuffers_;
  std::int32_t nextOutput_ = 0;
  std::string pendingOutput_;
  std::atomic<std::int32_t> inputDevice_{kNoDeviceChosen};
  // Written under inputLock_; read without it by a notification that must not wait for the lock
  // because its device is being closed under it.
  std::atomic<platform::WaveHandle> waveIn_{platform::kNoWaveHandle};
  OnPostingThread capture_;
  std::array<platform::WaveHeader, kWaveBufferCount> inputBuffers_;
  std::array<std::array<char, platform::kFrameBytes>, 2 * kWaveBufferCount> blocks_{};
};

}  // namespace media
