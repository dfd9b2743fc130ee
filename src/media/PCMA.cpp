#include "media/PCMA.h"

#include <cstring>
#include <utility>

#include "media/DTMF.h"
#include "media/G711.h"
#include "media/LevelTrace.h"
#include "media/RTPHeader.h"
#include "platform/ThreadGuard.h"
#include "platform/ThreadName.h"

namespace media {

namespace {

constexpr std::uintptr_t kInUse = 1;
// A device that never hands a block back must not hold up the end of a call for ever.
constexpr std::chrono::seconds kUnprepareLimit{1};

void SetUp(platform::WaveHeader& header, char* block) {
  header.Data = block;
  header.BufferLength = static_cast<std::uint32_t>(platform::kFrameBytes);
  header.BytesRecorded = 0;
  header.User = 0;
  header.Flags = 0;
}

}  // namespace

TPCMA::TPCMA(const platform::Window& window, platform::WaveBackend& wave)
    : window_(window), wave_(wave) {
  for (int i = 0; i < kWaveBufferCount; ++i) {
    SetUp(outputBuffers_[i], blocks_[i].data());
    SetUp(inputBuffers_[i], blocks_[kWaveBufferCount + i].data());
  }
}

TPCMA::~TPCMA() {
  Stop();
  Start(nullptr);
  JoinRetired(true);
}

void TPCMA::Start(TRTCPClient* rtcpClient) {
  Stop();
  JoinRetired(false);
  rtcpClient_ = rtcpClient;
  {
    std::lock_guard lock(inputLock_);
    sending_ = true;
  }
  if (rtcpClient == nullptr) return;
  // The previous call's Stop interrupted the receive on this socket.
  rtcpClient->RTPClient().ResumeReceive();
  auto call = std::make_shared<Call>();
  {
    std::lock_guard lock(callLock_);
    call_ = call;
  }
  thread_ = std::thread(&TPCMA::CallLoop, this, std::move(call));
}

void TPCMA::Stop() {
  std::shared_ptr<Call> call;
  bool receiving = false;
  {
    std::lock_guard lock(callLock_);
    call = std::move(call_);
    if (call) {
      call->Stopped = true;
      receiving = call->Receiving;
    }
  }
  CloseInput();
  if (thread_.joinable()) {
    if (receiving) {
      // The thread is normally blocked in the socket receive: wake it at once rather than wait
      // for a datagram or kill it, so that the hang-up does not hold the window and the thread
      // closes its device, never leaving outputLock_ held.
      rtcpClient_->RTPClient().InterruptReceive();
      thread_.join();
    } else {
      // Still opening a device: not waited for. It will touch nothing of the call's.
      retired_.push_back({std::move(thread_), std::move(call)});
    }
  }
  CloseOutput();
}

void TPCMA::JoinRetired(bool all) {
  std::erase_if(retired_, [all](Retired& retired) {
    if (!all && !retired.Of->Ended) return false;
    retired.Thread.join();
    return true;
  });
}

bool TPCMA::OpenOutput(const Call& call) {
  platform::WaveHandle handle = platform::kNoWaveHandle;
  if (wave_.OutOpen(handle, outputDevice_.load(), platform::WaveFormat{}) != platform::kWaveOk) {
    return false;
  }
  std::lock_guard lock(outputLock_);
  if (call.Stopped) {
    wave_.OutClose(handle);
    return false;
  }
  waveOut_ = handle;
  outputOf_ = &call;
  for (platform::WaveHeader& header : outputBuffers_) {
    wave_.OutPrepareHeader(waveOut_, header);
    header.User = 0;
  }
  nextOutput_ = 0;
  // Audio left over from the previous call must not open this one.
  pendingOutput_.clear();
  return true;
}

const TPCMA::Call& TPCMA::OutsideACall() {
  static const Call kNeverStopped;
  return kNeverStopped;
}

bool TPCMA::OpenOutput() {
  return OpenOutput(OutsideACall());
}

bool TPCMA::OpenInput() {
  return OpenInput(OutsideACall());
}

void TPCMA::CloseOutputOf(const Call* call) {
  std::lock_guard lock(outputLock_);
  if (waveOut_ == platform::kNoWaveHandle || (call != nullptr && call != outputOf_)) return;
  wave_.OutReset(waveOut_);
  for (platform::WaveHeader& header : outputBuffers_) {
    const auto limit = std::chrono::steady_clock::now() + kUnprepareLimit;
    while (wave_.OutUnprepareHeader(waveOut_, header) == platform::kWaveStillPlaying &&
           std::chrono::steady_clock::now() < limit) {
      std::this_thread::yield();
    }
  }
  wave_.OutClose(waveOut_);
  waveOut_ = platform::kNoWaveHandle;
  outputOf_ = nullptr;
}

bool TPCMA::OpenInput(const Call& call) {
  platform::WaveHandle handle = platform::kNoWaveHandle;
  // Without the lock while the server opens it: the capture handling takes it.
  if (wave_.InOpen(handle, inputDevice_.load(), platform::WaveFormat{},
                   platform::Window{&capture_, this}) != platform::kWaveOk) {
    return false;
  }
  std::lock_guard lock(inputLock_);
  if (call.Stopped || !sending_) {
    wave_.InClose(handle);
    return false;
  }
  waveIn_ = handle;
  for (platform::WaveHeader& header : inputBuffers_) {
    wave_.InPrepareHeader(waveIn_, header);
    // The device stays open until the next CloseInput.
    if (wave_.InAddBuffer(waveIn_, header) != platform::kWaveOk) return false;
  }
  return wave_.InStart(waveIn_) == platform::kWaveOk;
}

void TPCMA::EndSending() {
  {
    std::lock_guard lock(inputLock_);
    sending_ = false;
  }
  CloseInput();
}

void TPCMA::CloseInput() {
  platform::WaveHandle closing = platform::kNoWaveHandle;
  {
    std::lock_guard lock(inputLock_);
    closing = waveIn_.exchange(platform::kNoWaveHandle);
  }
  if (closing == platform::kNoWaveHandle) return;
  // Without the lock: the device hands its blocks back at once, on this thread, and they find
  // it no longer ours.
  wave_.InReset(closing);
  for (platform::WaveHeader& header : inputBuffers_)
    wave_.InUnprepareHeader(closing, header);
  wave_.InClose(closing);
}

void TPCMA::HandleWindowMessage(const platform::WindowMessage& message) {
  if (const auto* block = std::get_if<platform::CaptureBlock>(&message.Data)) {
    if (block->Header != nullptr) InputDone(block->Device, *block->Header);
  }
}

void TPCMA::InputDone(platform::WaveHandle device, platform::WaveHeader& header) {
  // A block handed back by a device being closed (the hang-up) is neither sent nor queued
  // again: no audio leaves after the call, and the device must close with none of its blocks.
  if (device == platform::kNoWaveHandle || device != waveIn_) return;
  std::string samples;
  {
    std::lock_guard lock(inputLock_);
    if (device != waveIn_) return;
    samples.assign(header.Data, header.BufferLength);
    if (header.BytesRecorded == platform::kFrameBytes && IsSpeech(TraceLevels(samples).Peak)) {
      SendLocked(ALawEncode(samples));
    }
    // Under the lock, so that a close waits for the block to be queued again and takes it back.
    wave_.InAddBuffer(device, header);
  }
  window_.Post(
      {platform::MessageNumber::CapturedSamples, platform::CapturedSamples{std::move(samples)}});
}

void TPCMA::SendAudio(std::string_view alaw) {
  std::lock_guard lock(inputLock_);
  SendLocked(alaw);
}

void TPCMA::SendLocked(std::string_view alaw) {
  if (rtcpClient_ == nullptr || !sending_) return;
  while (alaw.size() > platform::kFrameBytes) {
    rtcpClient_->RTPClient().Send(kPayloadTypePCMA, alaw.substr(0, platform::kFrameBytes));
    alaw.remove_prefix(platform::kFrameBytes);
  }
  if (!alaw.empty()) rtcpClient_->RTPClient().Send(kPayloadTypePCMA, alaw);
}

void TPCMA::Play(std::string_view linear) {
  std::lock_guard lock(outputLock_);
  if (waveOut_ == platform::kNoWaveHandle) return;
  pendingOutput_.append(linear);
  std::size_t written = 0;
  while (pendingOutput_.size() - written >= platform::kFrameBytes) {
    platform::WaveHeader& header = outputBuffers_[static_cast<std::size_t>(nextOutput_)];
    if (header.User == kInUse && !header.Done()) break;
    std::memcpy(header.Data, pendingOutput_.data() + written, platform::kFrameBytes);
    written += platform::kFrameBytes;
    wave_.OutWrite(waveOut_, header);
    header.User = kInUse;
    nextOutput_ = (nextOutput_ + 1) % kWaveBufferCount;
  }
  pendingOutput_.erase(0, written);
  if (pendingOutput_.size() > kMaxPendingOutput) {
    std::size_t excess = pendingOutput_.size() - kMaxPendingOutput;
    excess += excess % 2;  // whole samples only
    pendingOutput_.erase(0, excess);
  }
}

void TPCMA::SendDigit(std::int32_t key) {
  const std::string tone = DTMFTone(key, static_cast<std::int32_t>(platform::kFrameBytes));
  SendAudio(ALawEncode(tone));
  Play(tone);
}

bool TPCMA::OnPostingThread::Send(platform::MessageTarget& target,
                                  const platform::WindowMessage& message, std::stop_token stop) {
  if (stop.stop_requested()) return false;
  target.HandleWindowMessage(message);
  return true;
}

void TPCMA::OnPostingThread::Post(platform::MessageTarget& target,
                                  const platform::WindowMessage& message, std::stop_token stop) {
  Send(target, message, std::move(stop));
}

// A device never delays its notifications.
void TPCMA::OnPostingThread::PostAfter(platform::MessageTarget&, const platform::WindowMessage&,
                                       std::chrono::milliseconds, std::stop_token) {}

void TPCMA::CallLoop(std::shared_ptr<Call> call) {
  platform::NameThisThread("call audio");
  const bool completed = platform::RunThreadGuarded("call audio", [&] {
    OpenInput(*call);
    const bool playing = OpenOutput(*call);
    {
      std::lock_guard lock(callLock_);
      // A call that ended while its devices opened did not wait for this thread: it must not
      // read the endpoint, which the next call may be using already.
      call->Receiving = playing && !call->Stopped;
    }
    if (call->Receiving) {
      TStreamLatch latch;  // each call chooses its stream afresh
      while (!call->Stopped) {
        const std::optional<std::string> payload = rtcpClient_->Receive(kPayloadTypePCMA, latch);
        if (!payload) {
          // A receive on a socket that is not open returns at once; a short pause keeps such
          // a loop from spinning. Not after Stop's wake-up, which wants the thread gone. Never
          // after a datagram that was read, though: under a flood of them, a pause each would
          // let the socket's buffer overflow and drop the far end's audio.
          if (!call->Stopped) std::this_thread::sleep_for(std::chrono::milliseconds(1));
          continue;
        }
        if (!payload->empty()) Play(ALawDecode(*payload));
      }
    }
    CloseOutputOf(call.get());
  });
  // A failure ends the thread with its device closed all the same.
  if (!completed) platform::RunThreadGuarded("call audio", [&] { CloseOutputOf(call.get()); });
  call->Ended = true;
}

}  // namespace media
