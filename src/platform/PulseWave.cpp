#include "platform/PulseWave.h"

#include "platform/PulseConnection.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <utility>

namespace platform {

namespace {

constexpr auto kBlockBytes = static_cast<std::uint32_t>(kFrameBytes);
// Three blocks of 30 ms: the most the engine ever has queued.
constexpr std::uint32_t kPlaybackTarget = 3 * kBlockBytes;
// Playback starts with the first block rather than waiting for the buffer to fill.
constexpr std::uint32_t kPlaybackPrebuffer = kBlockBytes;
// One block: the server reports what it has taken once a block, not every 10 ms, which woke
// libpulse's thread three times as often. The reports only free blocks written beyond the
// target; a block within it is done as soon as it is written.
constexpr std::uint32_t kPlaybackMinimumRequest = kBlockBytes;
// Silence put ahead of the block that (re)starts playback: 15 ms of margin, so that a packet a
// little late finds the server still playing. Without it the stream ran dry and restarted at
// nearly every packet, a gap in the sound each time, and two more messages from the server.
constexpr std::uint32_t kPlaybackLead = kBlockBytes / 2;
constexpr std::uint32_t kCaptureFragment = kBlockBytes;
// How much later than its last sample a capture block is read: the server sends what it
// records in pieces of a few milliseconds, and the one that completes the block must be in.
constexpr auto kCaptureSlack = std::chrono::milliseconds(7);
constexpr std::uint32_t kBytesPerMillisecond = WaveFormat{}.AvgBytesPerSec / 1000;
constexpr std::uint32_t kServerDefault = static_cast<std::uint32_t>(-1);

pa_sample_spec TelephoneSpec() {
  pa_sample_spec spec{};
  spec.format = PA_SAMPLE_S16LE;
  spec.rate = 8000;
  spec.channels = 1;
  return spec;
}

// A capture stream's notifications, posted once the loop has let go of its lock.
class AfterRoundHandOff final : public HandOff {
 public:
  AfterRoundHandOff(PulseLoop& loop, HandOff& channel) : loop_(loop), channel_(channel) {}

  bool Send(MessageTarget& target, const WindowMessage& message, std::stop_token stop) override {
    return channel_.Send(target, message, std::move(stop));
  }
  void Post(MessageTarget& target, const WindowMessage& message, std::stop_token stop) override {
    loop_.AfterRound([channel = &channel_, target = &target, message, stop = std::move(stop)] {
      channel->Post(*target, message, stop);
    });
  }
  void PostAfter(MessageTarget& target, const WindowMessage& message,
                 std::chrono::milliseconds delay, std::stop_token stop) override {
    channel_.PostAfter(target, message, delay, std::move(stop));
  }

 private:
  PulseLoop& loop_;
  HandOff& channel_;
};

}  // namespace

struct PulseWaveBackend::Impl : PulseConnection {
  struct Stream {
    Impl* Owner = nullptr;
    pa_stream* Handle = nullptr;
    bool Playback = true;
    bool Failed = false;
    // Playback: the queued headers with the stream position at which each ends.
    std::deque<std::pair<WaveHeader*, std::uint64_t>> Written;
    std::uint64_t WrittenBytes = 0;
    // Playback: nothing is left to play; the next block starts the stream again.
    bool Starving = true;
    // Capture: the blocks queued, filled only between InStart and InReset. With no block
    // queued, or before InStart, the audio is lost.
    std::optional<CaptureQueue> Capture;
    std::unique_ptr<AfterRoundHandOff> Notices;
    bool Started = false;
  };

  using PulseConnection::PulseConnection;

  ~Impl() {
    if (Loop == nullptr) return;
    // Before the connection goes: a stream's callbacks must never run again.
    Locked lock(Loop);
    for (auto& [id, stream] : Streams)
      Release(*stream);
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
    const pa_sample_spec spec = TelephoneSpec();
    auto stream = std::make_unique<Stream>();
    stream->Owner = this;
    stream->Playback = playback;
    // A telephone call's streams: a server's policy may route them to a headset, lower other
    // streams meanwhile and, where it offers one, put its echo canceller between them, so
    // that the far end does not hear itself from the speaker.
    const PropertyList call =
        MakePropertyList({{PA_PROP_MEDIA_ROLE, "phone"}, {PA_PROP_FILTER_WANT, "echo-cancel"}});
    stream->Handle = pa_stream_new_with_proplist(
        Context, playback ? "Telvarion playback" : "Telvarion capture", &spec, nullptr, call.get());
    if (stream->Handle == nullptr) return kWaveError;
    pa_stream_set_state_callback(stream->Handle, &Impl::OnStreamState, stream.get());
    pa_buffer_attr attributes{};
    attributes.maxlength = kServerDefault;
    int connected = 0;
    const char* deviceName = name.empty() ? nullptr : name.c_str();
    if (playback) {
      attributes.tlength = kPlaybackTarget;
      attributes.prebuf = kPlaybackPrebuffer;
      attributes.minreq = kPlaybackMinimumRequest;
      attributes.fragsize = kServerDefault;
      pa_stream_set_write_callback(stream->Handle, &Impl::OnWritable, stream.get());
      pa_stream_set_underflow_callback(stream->Handle, &Impl::OnUnderflow, stream.get());
      connected = pa_stream_connect_playback(stream->Handle, deviceName, &attributes,
                                             PA_STREAM_NOFLAGS, nullptr, nullptr);
    } else {
      attributes.tlength = kServerDefault;
      attributes.prebuf = kServerDefault;
      attributes.minreq = kServerDefault;
      attributes.fragsize = kCaptureFragment;
      pa_stream_set_read_callback(stream->Handle, &Impl::OnReadable, stream.get());
      // Capture begins with InStart, as a wave device's does.
      connected = pa_stream_connect_record(
          stream->Handle, deviceName, &attributes,
          static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED));
    }
    const bool ready = connected == 0 && Wait([&] {
                         const pa_stream_state_t state = pa_stream_get_state(stream->Handle);
                         return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
                       });
    if (!ready || pa_stream_get_state(stream->Handle) != PA_STREAM_READY) {
      const bool missing = pa_context_errno(Context) == PA_ERR_NOENTITY;
      Release(*stream);
      return missing ? kWaveBadDeviceId : kWaveError;
    }
    handle = NextId++;
    if (!playback) {
      Window notices = window;
      if (window.Channel != nullptr) {
        stream->Notices = std::make_unique<AfterRoundHandOff>(*Loop, *window.Channel);
        notices.Channel = stream->Notices.get();
      }
      stream->Capture.emplace(handle, notices);
    }
    Streams.emplace(handle, std::move(stream));
    return kWaveOk;
  }

  // With the lock held: disconnects the stream; its callbacks never run again.
  void Release(Stream& stream) {
    if (stream.Handle == nullptr) return;
    pa_stream_set_state_callback(stream.Handle, nullptr, nullptr);
    pa_stream_set_write_callback(stream.Handle, nullptr, nullptr);
    pa_stream_set_underflow_callback(stream.Handle, nullptr, nullptr);
    pa_stream_set_read_callback(stream.Handle, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream.Handle))) pa_stream_disconnect(stream.Handle);
    pa_stream_unref(stream.Handle);
    stream.Handle = nullptr;
  }

  // With the lock held: closes an open stream unless blocks are still queued on it.
  int Close(WaveHandle handle, bool blocksQueued) {
    const int result = CloseResult(blocksQueued);
    if (result != kWaveOk) return result;
    Release(*Streams.at(handle));
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

  static void OnStreamState(pa_stream* handle, void* userdata) {
    auto* stream = static_cast<Stream*>(userdata);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(handle))) {
      stream->Failed = true;
      // Nothing will take these blocks any more.
      for (auto& [header, end] : stream->Written)
        header->MarkDone();
      stream->Written.clear();
    }
    stream->Owner->Loop->Signal();
  }

  // The server asks for more: what it has taken is done.
  static void OnWritable(pa_stream* handle, std::size_t, void* userdata) {
    auto* stream = static_cast<Stream*>(userdata);
    const pa_buffer_attr* granted = pa_stream_get_buffer_attr(handle);
    const std::size_t writable = pa_stream_writable_size(handle);
    if (granted == nullptr || writable == static_cast<std::size_t>(-1)) return;
    const std::uint64_t held =
        granted->tlength > writable ? granted->tlength - writable : std::uint64_t{0};
    const std::uint64_t taken = stream->WrittenBytes > held ? stream->WrittenBytes - held : 0;
    while (!stream->Written.empty() && stream->Written.front().second <= taken) {
      stream->Written.front().first->MarkDone();
      stream->Written.pop_front();
    }
  }

  static void OnUnderflow(pa_stream*, void* userdata) {
    static_cast<Stream*>(userdata)->Starving = true;
  }

  static void OnReadable(pa_stream* handle, std::size_t, void* userdata) {
    auto* stream = static_cast<Stream*>(userdata);
    while (pa_stream_readable_size(handle) > 0) {
      const void* data = nullptr;
      std::size_t length = 0;
      if (pa_stream_peek(handle, &data, &length) < 0 || length == 0) break;
      // A hole in the stream is silence.
      if (stream->Started) stream->Capture->Take(static_cast<const char*>(data), length);
      pa_stream_drop(handle);
    }
    if (const std::size_t missing = stream->Capture->Missing(); stream->Started && missing > 0) {
      // Nothing is wanted from the server before the next block is full.
      stream->Owner->Loop->BeatAt(std::chrono::steady_clock::now() +
                                  std::chrono::milliseconds(missing / kBytesPerMillisecond) +
                                  kCaptureSlack);
    }
  }

  // With the lock held: the silence that (re)starts a playback stream, when it starves.
  static bool WriteLead(Stream& stream) {
    if (!stream.Starving) return true;
    static constexpr std::array<char, kPlaybackLead> kSilence{};
    if (pa_stream_write(stream.Handle, kSilence.data(), kSilence.size(), nullptr, 0,
                        PA_SEEK_RELATIVE) < 0) {
      return false;
    }
    stream.WrittenBytes += kSilence.size();
    stream.Starving = false;
    return true;
  }

  // With the lock held: the lead when the stream starves, then the block. What the server
  // still asked for before the block (the target's free room), nothing when the write failed.
  static std::optional<std::size_t> WriteBlock(Stream& stream, const WaveHeader& header) {
    if (stream.Failed || pa_stream_get_state(stream.Handle) != PA_STREAM_READY ||
        !WriteLead(stream)) {
      return std::nullopt;
    }
    const std::size_t room = pa_stream_writable_size(stream.Handle);
    if (pa_stream_write(stream.Handle, header.Data, header.BufferLength, nullptr, 0,
                        PA_SEEK_RELATIVE) < 0) {
      return std::nullopt;
    }
    return room;
  }

  int Write(WaveHandle handle, WaveHeader& header) {
    Locked lock(Loop);
    Stream* stream = Find(handle, true);
    if (stream == nullptr) return kWaveInvalidHandle;
    if (const int queued = QueueHeader(header); queued != kWaveOk) return queued;
    const std::optional<std::size_t> room = WriteBlock(*stream, header);
    if (!room) {
      // Nobody will take it: hand it straight back.
      header.MarkDone();
      return kWaveError;
    }
    stream->WrittenBytes += header.BufferLength;
    // The server keeps its own copy: a block that fits in the target is not needed any more,
    // and waiting for the server's next report would hold the next packet back. Beyond the
    // target it waits, so that a fast sender cannot pile up delay in the server.
    if (stream->Written.empty() && *room != static_cast<std::size_t>(-1) &&
        *room >= header.BufferLength) {
      header.MarkDone();
    } else {
      stream->Written.emplace_back(&header, stream->WrittenBytes);
    }
    return kWaveOk;
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
  const int result = impl_->Write(handle, header);
  // Played as soon as it came, not at the capture's next beat; woken once the lock is free,
  // so that the loop does not wake into it and sleep again.
  if (result == kWaveOk) impl_->Loop->Wake();
  return result;
}

int PulseWaveBackend::OutReset(WaveHandle handle) {
  PulseConnection::Locked lock(impl_->Loop);
  Impl::Stream* stream = impl_->Find(handle, true);
  if (stream == nullptr) return kWaveInvalidHandle;
  if (!stream->Failed && pa_stream_get_state(stream->Handle) == PA_STREAM_READY) {
    if (pa_operation* operation = pa_stream_flush(stream->Handle, nullptr, nullptr)) {
      pa_operation_unref(operation);
    }
  }
  for (auto& [header, end] : stream->Written)
    header->MarkDone();
  stream->Written.clear();
  stream->Starving = true;
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
  if (stream->Failed || pa_stream_get_state(stream->Handle) != PA_STREAM_READY) return kWaveError;
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
  if (!stream->Failed && pa_stream_get_state(stream->Handle) == PA_STREAM_READY) {
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
