#include "platform/PulseWaveBackend.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <map>
#include <utility>

#include "platform/PulseConnection.h"
#include "platform/PulseStream.h"

namespace platform {

struct PulseWaveBackend::Impl : PulseConnection {
  using Stream = PulseStream;
  using PulseConnection::PulseConnection;

  ~Impl() {
    if (Loop == nullptr) return;
    // Before the connection goes: a stream's callbacks must never run again.
    Locked lock(Loop);
    Streams.clear();
  }

  // With the lock held: the server's name for a device number, nothing for "the default".
  // False when no device has the number.
  bool DeviceName(bool playback, std::int32_t device, std::string& name) {
    name.clear();
    if (device == kWaveDefaultDevice) return true;
    if (device < 0) return false;
    const std::vector<WaveDeviceInfo> devices = playback ? ListSinks() : ListSources();
    if (static_cast<std::size_t>(device) >= devices.size()) return false;
    name = devices[static_cast<std::size_t>(device)].Name;
    return true;
  }

  int Open(WaveHandle& handle, bool playback, std::int32_t device, const WaveFormat& format,
           const Window& window) {
    handle = kNoWaveHandle;
    if (!IsTelephoneFormat(format)) return kWaveBadFormat;
    Locked lock(Loop);
    if (!Connected()) return kWaveNoDriver;
    std::string name;
    if (!DeviceName(playback, device, name)) return kWaveBadDeviceId;
    auto stream = std::make_unique<Stream>(*Loop, playback);
    if (!stream->Connect(Context, name.empty() ? nullptr : name.c_str())) {
      return stream->Handle == nullptr ? kWaveError : Refused();
    }
    const bool ready = Wait([&] {
      const pa_stream_state_t state = pa_stream_get_state(stream->Handle);
      return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
    });
    if (!ready || pa_stream_get_state(stream->Handle) != PA_STREAM_READY) return Refused();
    handle = NextId++;
    if (!playback) stream->TakeCapture(handle, window);
    Streams.emplace(handle, std::move(stream));
    return kWaveOk;
  }

  // With the lock held: why the server did not open a stream.
  int Refused() const {
    return pa_context_errno(Context) == PA_ERR_NOENTITY ? kWaveBadDeviceId : kWaveError;
  }

  // With the lock held: closes an open stream unless blocks are still queued on it.
  int Close(WaveHandle handle, bool blocksQueued) {
    const int result = CloseResult(blocksQueued);
    if (result != kWaveOk) return result;
    Streams.erase(handle);
    KeepBeat();
    return kWaveOk;
  }

  // With the lock held: the loop keeps its beat while a capture runs, the call's own pace.
  void KeepBeat() {
    Loop->SetBeat(std::any_of(Streams.begin(), Streams.end(), [](const auto& entry) {
      return !entry.second->Playback && entry.second->Started;
    }));
  }

  Stream* Find(WaveHandle handle, bool playback) {
    const auto found = Streams.find(handle);
    if (found == Streams.end() || found->second->Playback != playback) return nullptr;
    return found->second.get();
  }

  std::map<WaveHandle, std::unique_ptr<Stream>> Streams;
  WaveHandle NextId = 1;
};

PulseWaveBackend::PulseWaveBackend(std::string server, std::chrono::milliseconds timeout)
    : impl_(std::make_unique<Impl>(std::move(server), timeout)) {}

PulseWaveBackend::~PulseWaveBackend() = default;

std::vector<WaveDeviceInfo> PulseWaveBackend::OutputDevices() {
  PulseConnection::Locked lock(impl_->Loop);
  return impl_->Loop == nullptr ? std::vector<WaveDeviceInfo>{} : impl_->ListSinks();
}

std::vector<WaveDeviceInfo> PulseWaveBackend::InputDevices() {
  PulseConnection::Locked lock(impl_->Loop);
  return impl_->Loop == nullptr ? std::vector<WaveDeviceInfo>{} : impl_->ListSources();
}

std::string PulseWaveBackend::DefaultOutput() {
  PulseConnection::Locked lock(impl_->Loop);
  return impl_->Loop == nullptr ? std::string{} : impl_->ServerDefaults().Sink;
}

std::string PulseWaveBackend::DefaultInput() {
  PulseConnection::Locked lock(impl_->Loop);
  return impl_->Loop == nullptr ? std::string{} : impl_->ServerDefaults().Source;
}

bool PulseWaveBackend::WatchDevices(const Window& window) {
  PulseConnection::Locked lock(impl_->Loop);
  impl_->Watcher = window;
  if (!impl_->Connected()) return false;
  impl_->Subscribe();
  // A round trip, so that no change after this call can be missed.
  return impl_->ServerDefaults().Done;
}

void PulseWaveBackend::UnwatchDevices() {
  PulseConnection::Locked lock(impl_->Loop);
  impl_->Watcher.reset();
  if (impl_->Context != nullptr && pa_context_get_state(impl_->Context) == PA_CONTEXT_READY) {
    if (pa_operation* operation =
            pa_context_subscribe(impl_->Context, PA_SUBSCRIPTION_MASK_NULL, nullptr, nullptr)) {
      pa_operation_unref(operation);
    }
  }
}

int PulseWaveBackend::OutOpen(WaveHandle& handle, std::int32_t device, const WaveFormat& format) {
  return impl_->Open(handle, true, device, format, Window{});
}

int PulseWaveBackend::OutPrepareHeader(WaveHandle handle, WaveHeader& header) {
  PulseConnection::Locked lock(impl_->Loop);
  return impl_->Find(handle, true) == nullptr ? kWaveInvalidHandle : PrepareHeader(header);
}

int PulseWaveBackend::OutWrite(WaveHandle handle, WaveHeader& header) {
  const int result = [&] {
    PulseConnection::Locked lock(impl_->Loop);
    Impl::Stream* stream = impl_->Find(handle, true);
    return stream == nullptr ? kWaveInvalidHandle : stream->Write(header);
  }();
  // Played as soon as it came, not at the capture's next beat; woken once the lock is free,
  // so that the loop does not wake into it and sleep again.
  if (result == kWaveOk) impl_->Loop->Wake();
  return result;
}

int PulseWaveBackend::OutReset(WaveHandle handle) {
  PulseConnection::Locked lock(impl_->Loop);
  Impl::Stream* stream = impl_->Find(handle, true);
  if (stream == nullptr) return kWaveInvalidHandle;
  stream->Flush();
  return kWaveOk;
}

int PulseWaveBackend::OutUnprepareHeader(WaveHandle handle, WaveHeader& header) {
  PulseConnection::Locked lock(impl_->Loop);
  return impl_->Find(handle, true) == nullptr ? kWaveInvalidHandle : UnprepareHeader(header);
}

int PulseWaveBackend::OutClose(WaveHandle handle) {
  PulseConnection::Locked lock(impl_->Loop);
  Impl::Stream* stream = impl_->Find(handle, true);
  return stream == nullptr ? kWaveInvalidHandle : impl_->Close(handle, !stream->Written.empty());
}

int PulseWaveBackend::InOpen(WaveHandle& handle, std::int32_t device, const WaveFormat& format,
                             const Window& window) {
  return impl_->Open(handle, false, device, format, window);
}

int PulseWaveBackend::InPrepareHeader(WaveHandle handle, WaveHeader& header) {
  PulseConnection::Locked lock(impl_->Loop);
  return impl_->Find(handle, false) == nullptr ? kWaveInvalidHandle : PrepareHeader(header);
}

int PulseWaveBackend::InAddBuffer(WaveHandle handle, WaveHeader& header) {
  PulseConnection::Locked lock(impl_->Loop);
  Impl::Stream* stream = impl_->Find(handle, false);
  return stream == nullptr ? kWaveInvalidHandle : stream->Capture->Add(header);
}

int PulseWaveBackend::InStart(WaveHandle handle) {
  PulseConnection::Locked lock(impl_->Loop);
  Impl::Stream* stream = impl_->Find(handle, false);
  if (stream == nullptr) return kWaveInvalidHandle;
  if (!stream->Ready()) return kWaveError;
  stream->Started = true;
  pa_operation* operation = pa_stream_cork(stream->Handle, 0, nullptr, nullptr);
  if (operation == nullptr) return kWaveError;
  pa_operation_unref(operation);
  impl_->KeepBeat();
  return kWaveOk;
}

int PulseWaveBackend::InReset(WaveHandle handle) {
  PulseConnection::Locked lock(impl_->Loop);
  Impl::Stream* stream = impl_->Find(handle, false);
  if (stream == nullptr) return kWaveInvalidHandle;
  stream->Started = false;
  impl_->KeepBeat();
  if (stream->Ready()) {
    if (pa_operation* operation = pa_stream_cork(stream->Handle, 1, nullptr, nullptr)) {
      pa_operation_unref(operation);
    }
  }
  stream->Capture->HandBackAll();
  return kWaveOk;
}

int PulseWaveBackend::InUnprepareHeader(WaveHandle handle, WaveHeader& header) {
  PulseConnection::Locked lock(impl_->Loop);
  return impl_->Find(handle, false) == nullptr ? kWaveInvalidHandle : UnprepareHeader(header);
}

int PulseWaveBackend::InClose(WaveHandle handle) {
  PulseConnection::Locked lock(impl_->Loop);
  Impl::Stream* stream = impl_->Find(handle, false);
  return stream == nullptr ? kWaveInvalidHandle : impl_->Close(handle, !stream->Capture->Empty());
}

std::optional<PulseBufferSizes> PulseWaveBackend::BufferSizes(WaveHandle handle) {
  PulseConnection::Locked lock(impl_->Loop);
  const auto found = impl_->Streams.find(handle);
  if (found == impl_->Streams.end()) return std::nullopt;
  const pa_buffer_attr* granted = pa_stream_get_buffer_attr(found->second->Handle);
  if (granted == nullptr) return std::nullopt;
  return PulseBufferSizes{granted->tlength, granted->prebuf, granted->minreq, granted->fragsize};
}

}  // namespace platform
