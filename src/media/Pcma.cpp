#include "media/Pcma.h"

#include <cstring>

#include "media/DTMF.h"
#include "media/G711.h"
#include "media/RtpHeader.h"

namespace media {

namespace {

constexpr std::uintptr_t kInUse = 1;
// A device that never hands a block back must not hold up the end of a call for ever.
constexpr std::chrono::seconds kUnprepareLimit{1};

void SetUp(platform::WaveHeader& header, char* block) {
  header.Data = block;
  header.BufferLength = static_cast<std::uint32_t>(kWaveBufferBytes);
  header.BytesRecorded = 0;
  header.User = 0;
  header.Flags = 0;
}

}  // namespace

TPCMA::TPCMA(const platform::Window& window, platform::WaveBackend& wave)
    : Window(window), wave_(wave) {
  for (int i = 0; i < kWaveBufferCount; ++i) {
    SetUp(OutputBuffers[i], blocks_[i].data());
    SetUp(InputBuffers[i], blocks_[kWaveBufferCount + i].data());
  }
}

TPCMA::~TPCMA() {
  Stop();
  Start(nullptr);
}

void TPCMA::Start(TRTCPClient* rtcpClient) {
  Stop();
  RTCPClient = rtcpClient;
  if (rtcpClient == nullptr) return;
  Running = 1;
  // The previous call's Stop interrupted the receive on this socket.
  rtcpClient->RTPClient->ResumeReceive();
  Thread = std::thread(&TPCMA::PlaybackLoop, this);
  OpenInput();
}

void TPCMA::Stop() {
  CloseInput();
  Running = 0;
  if (Thread.joinable()) {
    // The thread is normally blocked in the socket receive: wake it at once rather than wait
    // for a datagram or kill it, so that the hang-up does not hold the window and the thread
    // closes its device, never leaving OutputLock held.
    if (RTCPClient != nullptr) RTCPClient->RTPClient->InterruptReceive();
    Thread.join();
  }
  CloseOutput();
}

bool TPCMA::OpenOutput() {
  CloseOutput();
  std::lock_guard lock(OutputLock);
  platform::WaveHandle handle = platform::kNoWaveHandle;
  if (wave_.OutOpen(handle, OutputDevice.load(), platform::WaveFormat{}) != platform::kWaveOk) {
    return false;
  }
  WaveOut = handle;
  for (platform::WaveHeader& header : OutputBuffers) {
    wave_.OutPrepareHeader(WaveOut, header);
    header.User = 0;
  }
  NextOutput = 0;
  // Audio left over from the previous call must not open this one.
  PendingOutput.clear();
  return true;
}

void TPCMA::CloseOutput() {
  std::lock_guard lock(OutputLock);
  if (WaveOut == platform::kNoWaveHandle) return;
  wave_.OutReset(WaveOut);
  for (platform::WaveHeader& header : OutputBuffers) {
    const auto limit = std::chrono::steady_clock::now() + kUnprepareLimit;
    while (wave_.OutUnprepareHeader(WaveOut, header) == platform::kWaveStillPlaying &&
           std::chrono::steady_clock::now() < limit) {
      std::this_thread::yield();
    }
  }
  wave_.OutClose(WaveOut);
  WaveOut = platform::kNoWaveHandle;
}

bool TPCMA::OpenInput() {
  CloseInput();
  std::lock_guard lock(InputLock);
  platform::WaveHandle handle = platform::kNoWaveHandle;
  if (wave_.InOpen(handle, InputDevice.load(), platform::WaveFormat{}, Window) !=
      platform::kWaveOk) {
    return false;
  }
  WaveIn = handle;
  for (platform::WaveHeader& header : InputBuffers) {
    wave_.InPrepareHeader(WaveIn, header);
    // The device stays open until the next CloseInput.
    if (wave_.InAddBuffer(WaveIn, header) != platform::kWaveOk) return false;
  }
  return wave_.InStart(WaveIn) == platform::kWaveOk;
}

void TPCMA::CloseInput() {
  std::lock_guard lock(InputLock);
  if (WaveIn == platform::kNoWaveHandle) return;
  wave_.InReset(WaveIn);
  for (platform::WaveHeader& header : InputBuffers)
    wave_.InUnprepareHeader(WaveIn, header);
  wave_.InClose(WaveIn);
  WaveIn = platform::kNoWaveHandle;
}

void TPCMA::InputDone(platform::WaveHandle device, platform::WaveHeader& header) {
  std::string frame;
  {
    std::lock_guard lock(InputLock);
    // A block handed back by a device that has since been closed (the hang-up) is not sent:
    // no audio leaves after the call, and the header may already be queued on a new device.
    if (device != platform::kNoWaveHandle && device == WaveIn &&
        header.BytesRecorded == kWaveBufferBytes) {
      frame.assign(header.Data, kWaveBufferBytes);
    }
  }
  if (!frame.empty()) {
    const std::string alaw = ALawEncode(frame);
    if (alaw.size() == kWaveBufferBytes / 2) SendAudio(alaw);
  }
  wave_.InAddBuffer(device, header);
}

void TPCMA::SendAudio(std::string_view alaw) {
  std::lock_guard lock(InputLock);
  if (RTCPClient == nullptr) return;
  while (alaw.size() > kWaveBufferBytes) {
    RTCPClient->RTPClient->Send(kPayloadTypePCMA, alaw.substr(0, kWaveBufferBytes));
    alaw.remove_prefix(kWaveBufferBytes);
  }
  if (!alaw.empty()) RTCPClient->RTPClient->Send(kPayloadTypePCMA, alaw);
}

void TPCMA::Play(std::string_view linear) {
  std::lock_guard lock(OutputLock);
  if (WaveOut == platform::kNoWaveHandle) return;
  PendingOutput.append(linear);
  std::size_t written = 0;
  while (PendingOutput.size() - written >= kWaveBufferBytes) {
    platform::WaveHeader& header = OutputBuffers[static_cast<std::size_t>(NextOutput)];
    if (header.User == kInUse && !header.Done()) break;
    std::memcpy(header.Data, PendingOutput.data() + written, kWaveBufferBytes);
    written += kWaveBufferBytes;
    wave_.OutWrite(WaveOut, header);
    header.User = kInUse;
    NextOutput = (NextOutput + 1) % kWaveBufferCount;
  }
  PendingOutput.erase(0, written);
  if (PendingOutput.size() > kMaxPendingOutput) {
    std::size_t excess = PendingOutput.size() - kMaxPendingOutput;
    excess += excess % 2;  // whole samples only
    PendingOutput.erase(0, excess);
  }
}

void TPCMA::SendDigit(std::int32_t key) {
  const std::string tone = DTMFTone(key, kDTMFBurstBytes);
  SendAudio(ALawEncode(tone));
  Play(tone);
}

void TPCMA::PlaybackLoop() {
  try {
    if (OpenOutput()) {
      TStreamLatch latch;  // each call chooses its stream afresh
      while (Running != 0) {
        const std::optional<std::string> payload = RTCPClient->Receive(kPayloadTypePCMA, latch);
        if (!payload) {
          // A receive on a socket that is not open returns at once; a short pause keeps such
          // a loop from spinning. Not after Stop's wake-up, which wants the thread gone. Never
          // after a datagram that was read, though: under a flood of them, a pause each would
          // let the socket's buffer overflow and drop the far end's audio.
          if (Running != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
          continue;
        }
        if (!payload->empty()) Play(ALawDecode(*payload));
      }
      CloseOutput();
    }
  } catch (...) {
    // The thread's guard: a failure ends the thread quietly, with the device closed.
    try {
      CloseOutput();
    } catch (...) {
    }
  }
}

}  // namespace media
