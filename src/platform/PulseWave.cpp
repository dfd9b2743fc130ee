#include "platform/PulseWave.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <utility>

namespace platform {

namespace {

constexpr std::uint32_t kBlockBytes = 480;
// Three blocks of 30 ms: the most the engine ever has queued.
constexpr std::uint32_t kPlaybackTarget = 3 * kBlockBytes;
// Playback starts with the first block rather than waiting for the buffer to fill.
constexpr std::uint32_t kPlaybackPrebuffer = kBlockBytes;
// 10 ms: how finely the server reports what it has taken, so done flags come soon. One block
// (30 ms) woke the audio thread a third as often, but held each block's done flag until the
// next report and added some 24 ms to the playback latency (median 16 to 40 ms).
constexpr std::uint32_t kPlaybackMinimumRequest = 160;
constexpr std::uint32_t kCaptureFragment = kBlockBytes;
constexpr std::uint32_t kServerDefault = static_cast<std::uint32_t>(-1);

pa_sample_spec TelephoneSpec() {
  pa_sample_spec spec{};
  spec.format = PA_SAMPLE_S16LE;
  spec.rate = 8000;
  spec.channels = 1;
  return spec;
}

}  // namespace

struct PulseWaveBackend::Impl {
  struct Stream {
    Impl* Owner = nullptr;
    pa_stream* Handle = nullptr;
    bool Playback = true;
    bool Failed = false;
    // Playback: the queued headers with the stream position at which each ends.
    std::deque<std::pair<WaveHeader*, std::uint64_t>> Written;
    std::uint64_t WrittenBytes = 0;
    // Capture.
    Window Notify;
    WaveHandle Id = kNoWaveHandle;
    bool Started = false;
    std::deque<WaveHeader*> Queue;

    // Capture: fills the queued blocks in turn with what arrived (a hole is silence); each
    // full block is handed back with its notification. With no block queued, or before
    // InStart, the audio is lost, as on a device that has no buffer.
    void Take(const char* data, std::size_t length) {
      while (length > 0 && Started && !Queue.empty()) {
        WaveHeader& header = *Queue.front();
        const std::size_t room = header.BufferLength - header.BytesRecorded;
        const std::size_t part = std::min(room, length);
        if (data != nullptr) {
          std::memcpy(header.Data + header.BytesRecorded, data, part);
          data += part;
        } else {
          std::memset(header.Data + header.BytesRecorded, 0, part);
        }
        header.BytesRecorded += static_cast<std::uint32_t>(part);
        length -= part;
        if (header.BytesRecorded == header.BufferLength) {
          Queue.pop_front();
          HandBack(header);
        }
      }
    }

    void HandBack(WaveHeader& header) {
      header.MarkDone();
      if (Notify.Channel != nullptr && Notify.Target != nullptr) {
        Notify.Channel->Post(
            *Notify.Target,
            WindowMessage{kWaveInData, Id, reinterpret_cast<std::intptr_t>(&header)});
      }
    }
  };

  Impl(std::string server, std::chrono::milliseconds timeout)
      : Server(std::move(server)), Timeout(timeout), Loop(pa_threaded_mainloop_new()) {
    if (Loop != nullptr && pa_threaded_mainloop_start(Loop) < 0) {
      pa_threaded_mainloop_free(Loop);
      Loop = nullptr;
    }
  }

  ~Impl() {
    if (Loop == nullptr) return;
    pa_threaded_mainloop_lock(Loop);
    for (auto& [id, stream] : Streams)
      Release(*stream);
    Streams.clear();
    Disconnect();
    pa_threaded_mainloop_unlock(Loop);
    pa_threaded_mainloop_stop(Loop);
    pa_threaded_mainloop_free(Loop);
  }

  // Holds the main loop's lock for a scope.
  struct Locked {
    explicit Locked(pa_threaded_mainloop* loop) : loop_(loop) {
      if (loop_ != nullptr) pa_threaded_mainloop_lock(loop_);
    }
    ~Locked() {
      if (loop_ != nullptr) pa_threaded_mainloop_unlock(loop_);
    }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

   private:
    pa_threaded_mainloop* loop_;
  };

  // With the lock held: waits until `done` holds or the time-out passes; returns `done()`.
  bool Wait(const std::function<bool()>& done) {
    struct Expiry {
      pa_threaded_mainloop* Loop;
      bool Expired = false;
    } expiry{Loop};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(Loop);
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when),
                   static_cast<pa_usec_t>(Timeout.count()) * PA_USEC_PER_MSEC);
    pa_time_event* timer = api->time_new(
        api, &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* userdata) {
          auto* state = static_cast<Expiry*>(userdata);
          state->Expired = true;
          pa_threaded_mainloop_signal(state->Loop, 0);
        },
        &expiry);
    while (!done() && !expiry.Expired)
      pa_threaded_mainloop_wait(Loop);
    api->time_free(timer);
    return done();
  }

  // With the lock held: waits for an operation and lets it go; a late one is cancelled so that
  // its callback never sees the caller's state.
  bool Finish(pa_operation* operation) {
    if (operation == nullptr) return false;
    const bool done =
        Wait([&] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
    if (!done) pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return done;
  }

  void Disconnect() {
    if (Context == nullptr) return;
    pa_context_set_state_callback(Context, nullptr, nullptr);
    pa_context_set_subscribe_callback(Context, nullptr, nullptr);
    pa_context_disconnect(Context);
    pa_context_unref(Context);
    Context = nullptr;
  }

  // With the lock held: a ready connection, made afresh if there is none.
  bool Connected() {
    if (Loop == nullptr) return false;
    if (Context != nullptr && pa_context_get_state(Context) == PA_CONTEXT_READY) return true;
    Disconnect();
    Context = pa_context_new(pa_threaded_mainloop_get_api(Loop), "Telvarion");
    if (Context == nullptr) return false;
    ContextWasReady = false;
    pa_context_set_state_callback(Context, &Impl::OnContextState, this);
    pa_context_set_subscribe_callback(Context, &Impl::OnSubscription, this);
    if (pa_context_connect(Context, Server.empty() ? nullptr : Server.c_str(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
      Disconnect();
      return false;
    }
    const bool ready = Wait([&] {
      const pa_context_state_t state = pa_context_get_state(Context);
      return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    });
    if (!ready || pa_context_get_state(Context) != PA_CONTEXT_READY) {
      Disconnect();
      return false;
    }
    if (Watcher) Subscribe();
    return true;
  }

  void Subscribe() {
    const auto mask = static_cast<pa_subscription_mask_t>(
        PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER);
    if (pa_operation* operation = pa_context_subscribe(Context, mask, nullptr, nullptr)) {
      pa_operation_unref(operation);
    }
  }

  void PostDeviceChange() {
    if (Watcher && Watcher->Channel != nullptr && Watcher->Target != nullptr) {
      Watcher->Channel->Post(*Watcher->Target, WindowMessage{kDeviceChange, 0, 0});
    }
  }

  static void OnContextState(pa_context* context, void* userdata) {
    auto* self = static_cast<Impl*>(userdata);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) self->ContextWasReady = true;
    if (!PA_CONTEXT_IS_GOOD(state) && self->ContextWasReady) {
      // The server went away: its devices with it. Only a connection that was up counts: a
      // failed attempt (no server at all) changes nothing, and reporting it would make every
      // listing try again and report again, for ever.
      self->ContextWasReady = false;
      self->PostDeviceChange();
    }
    pa_threaded_mainloop_signal(self->Loop, 0);
  }

  static void OnSubscription(pa_context*, pa_subscription_event_type_t event, std::uint32_t,
                             void* userdata) {
    auto* self = static_cast<Impl*>(userdata);
    const auto facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    // Sinks and sources change state all the time (idle, suspended); only their coming and
    // going, and the server's defaults, change what a person can choose.
    const bool devices =
        (facility == PA_SUBSCRIPTION_EVENT_SINK || facility == PA_SUBSCRIPTION_EVENT_SOURCE) &&
        type != PA_SUBSCRIPTION_EVENT_CHANGE;
    if (devices || facility == PA_SUBSCRIPTION_EVENT_SERVER) self->PostDeviceChange();
  }

  struct Listing {
    Impl* Self = nullptr;
    std::vector<WaveDeviceInfo> Devices;
    bool Done = false;
  };

  std::vector<WaveDeviceInfo> ListSinks() {
    Listing listing{this, {}, false};
    if (!Connected()) return {};
    pa_operation* operation = pa_context_get_sink_info_list(
        Context,
        [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
          auto* state = static_cast<Listing*>(userdata);
          if (eol != 0 || info == nullptr) {
            state->Done = true;
            pa_threaded_mainloop_signal(state->Self->Loop, 0);
            return;
          }
          state->Devices.push_back({info->name, info->description ? info->description : ""});
        },
        &listing);
    if (!Finish(operation) || !listing.Done) return {};
    return listing.Devices;
  }

  std::vector<WaveDeviceInfo> ListSources() {
    Listing listing{this, {}, false};
    if (!Connected()) return {};
    pa_operation* operation = pa_context_get_source_info_list(
        Context,
        [](pa_context*, const pa_source_info* info, int eol, void* userdata) {
          auto* state = static_cast<Listing*>(userdata);
          if (eol != 0 || info == nullptr) {
            state->Done = true;
            pa_threaded_mainloop_signal(state->Self->Loop, 0);
            return;
          }
          // A monitor hears what a sink plays: not a microphone.
          if (info->monitor_of_sink != PA_INVALID_INDEX) return;
          state->Devices.push_back({info->name, info->description ? info->description : ""});
        },
        &listing);
    if (!Finish(operation) || !listing.Done) return {};
    return listing.Devices;
  }

  struct Defaults {
    Impl* Self = nullptr;
    std::string Sink;
    std::string Source;
    bool Done = false;
  };

  Defaults ServerDefaults() {
    Defaults defaults{this, {}, {}, false};
    if (!Connected()) return defaults;
    pa_operation* operation = pa_context_get_server_info(
        Context,
        [](pa_context*, const pa_server_info* info, void* userdata) {
          auto* state = static_cast<Defaults*>(userdata);
          if (info != nullptr) {
            if (info->default_sink_name) state->Sink = info->default_sink_name;
            if (info->default_source_name) state->Source = info->default_source_name;
          }
          state->Done = true;
          pa_threaded_mainloop_signal(state->Self->Loop, 0);
        },
        &defaults);
    if (!Finish(operation) || !defaults.Done) return Defaults{};
    return defaults;
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
    stream->Notify = window;
    stream->Handle = pa_stream_new(Context, playback ? "Telvarion playback" : "Telvarion capture",
                                   &spec, nullptr);
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
    stream->Id = handle;
    Streams.emplace(handle, std::move(stream));
    return kWaveOk;
  }

  // With the lock held: disconnects the stream; its callbacks never run again.
  void Release(Stream& stream) {
    if (stream.Handle == nullptr) return;
    pa_stream_set_state_callback(stream.Handle, nullptr, nullptr);
    pa_stream_set_write_callback(stream.Handle, nullptr, nullptr);
    pa_stream_set_read_callback(stream.Handle, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream.Handle))) pa_stream_disconnect(stream.Handle);
    pa_stream_unref(stream.Handle);
    stream.Handle = nullptr;
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
    pa_threaded_mainloop_signal(stream->Owner->Loop, 0);
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

  static void OnReadable(pa_stream* handle, std::size_t, void* userdata) {
    auto* stream = static_cast<Stream*>(userdata);
    while (pa_stream_readable_size(handle) > 0) {
      const void* data = nullptr;
      std::size_t length = 0;
      if (pa_stream_peek(handle, &data, &length) < 0 || length == 0) break;
      stream->Take(static_cast<const char*>(data), length);
      pa_stream_drop(handle);
    }
  }

  int Write(WaveHandle handle, WaveHeader& header) {
    Locked lock(Loop);
    Stream* stream = Find(handle, true);
    if (stream == nullptr) return kWaveInvalidHandle;
    if ((header.Flags.load() & kWaveHeaderPrepared) == 0) return kWaveUnprepared;
    if ((header.Flags.load() & kWaveHeaderInQueue) != 0) return kWaveStillPlaying;
    header.MarkQueued();
    if (stream->Failed || pa_stream_get_state(stream->Handle) != PA_STREAM_READY ||
        pa_stream_write(stream->Handle, header.Data, header.BufferLength, nullptr, 0,
                        PA_SEEK_RELATIVE) < 0) {
      // Nobody will take it: hand it straight back.
      header.MarkDone();
      return kWaveError;
    }
    stream->WrittenBytes += header.BufferLength;
    stream->Written.emplace_back(&header, stream->WrittenBytes);
    return kWaveOk;
  }

  std::string Server;
  std::chrono::milliseconds Timeout;
  pa_threaded_mainloop* Loop = nullptr;
  pa_context* Context = nullptr;
  // Set once the current context has been ready; guarded by the main loop's lock.
  bool ContextWasReady = false;
  std::optional<Window> Watcher;
  std::map<WaveHandle, std::unique_ptr<Stream>> Streams;
  WaveHandle NextId = 1;
};

PulseWaveBackend::PulseWaveBackend(std::string server, std::chrono::milliseconds timeout)
    : impl_(std::make_unique<Impl>(std::move(server), timeout)) {}

PulseWaveBackend::~PulseWaveBackend() = default;

std::vector<WaveDeviceInfo> PulseWaveBackend::OutputDevices() {
  Impl::Locked lock(impl_->Loop);
  return impl_->Loop == nullptr ? std::vector<WaveDeviceInfo>{} : impl_->ListSinks();
}

std::vector<WaveDeviceInfo> PulseWaveBackend::InputDevices() {
  Impl::Locked lock(impl_->Loop);
  return impl_->Loop == nullptr ? std::vector<WaveDeviceInfo>{} : impl_->ListSources();
}

std::string PulseWaveBackend::DefaultOutput() {
  Impl::Locked lock(impl_->Loop);
  return impl_->Loop == nullptr ? std::string{} : impl_->ServerDefaults().Sink;
}

std::string PulseWaveBackend::DefaultInput() {
  Impl::Locked lock(impl_->Loop);
  return impl_->Loop == nullptr ? std::string{} : impl_->ServerDefaults().Source;
}

bool PulseWaveBackend::WatchDevices(const Window& window) {
  Impl::Locked lock(impl_->Loop);
  impl_->Watcher = window;
  if (!impl_->Connected()) return false;
  impl_->Subscribe();
  // A round trip, so that no change after this call can be missed.
  return impl_->ServerDefaults().Done;
}

void PulseWaveBackend::UnwatchDevices() {
  Impl::Locked lock(impl_->Loop);
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
  Impl::Locked lock(impl_->Loop);
  if (impl_->Find(handle, true) == nullptr) return kWaveInvalidHandle;
  header.Flags.fetch_or(kWaveHeaderPrepared);
  return kWaveOk;
}

int PulseWaveBackend::OutWrite(WaveHandle handle, WaveHeader& header) {
  return impl_->Write(handle, header);
}

int PulseWaveBackend::OutReset(WaveHandle handle) {
  Impl::Locked lock(impl_->Loop);
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
  return kWaveOk;
}

int PulseWaveBackend::OutUnprepareHeader(WaveHandle handle, WaveHeader& header) {
  Impl::Locked lock(impl_->Loop);
  if (impl_->Find(handle, true) == nullptr) return kWaveInvalidHandle;
  if ((header.Flags.load() & kWaveHeaderInQueue) != 0) return kWaveStillPlaying;
  header.Flags.fetch_and(~kWaveHeaderPrepared);
  return kWaveOk;
}

int PulseWaveBackend::OutClose(WaveHandle handle) {
  Impl::Locked lock(impl_->Loop);
  Impl::Stream* stream = impl_->Find(handle, true);
  if (stream == nullptr) return kWaveInvalidHandle;
  if (!stream->Written.empty()) return kWaveStillPlaying;
  impl_->Release(*stream);
  impl_->Streams.erase(handle);
  return kWaveOk;
}

int PulseWaveBackend::InOpen(WaveHandle& handle, std::int32_t device, const WaveFormat& format,
                             const Window& window) {
  return impl_->Open(handle, false, device, format, window);
}

int PulseWaveBackend::InPrepareHeader(WaveHandle handle, WaveHeader& header) {
  Impl::Locked lock(impl_->Loop);
  if (impl_->Find(handle, false) == nullptr) return kWaveInvalidHandle;
  header.Flags.fetch_or(kWaveHeaderPrepared);
  return kWaveOk;
}

int PulseWaveBackend::InAddBuffer(WaveHandle handle, WaveHeader& header) {
  Impl::Locked lock(impl_->Loop);
  Impl::Stream* stream = impl_->Find(handle, false);
  if (stream == nullptr) return kWaveInvalidHandle;
  if ((header.Flags.load() & kWaveHeaderPrepared) == 0) return kWaveUnprepared;
  if ((header.Flags.load() & kWaveHeaderInQueue) != 0) return kWaveStillPlaying;
  header.BytesRecorded = 0;
  header.MarkQueued();
  stream->Queue.push_back(&header);
  return kWaveOk;
}

int PulseWaveBackend::InStart(WaveHandle handle) {
  Impl::Locked lock(impl_->Loop);
  Impl::Stream* stream = impl_->Find(handle, false);
  if (stream == nullptr) return kWaveInvalidHandle;
  if (stream->Failed || pa_stream_get_state(stream->Handle) != PA_STREAM_READY) return kWaveError;
  stream->Started = true;
  pa_operation* operation = pa_stream_cork(stream->Handle, 0, nullptr, nullptr);
  if (operation == nullptr) return kWaveError;
  pa_operation_unref(operation);
  return kWaveOk;
}

int PulseWaveBackend::InReset(WaveHandle handle) {
  Impl::Locked lock(impl_->Loop);
  Impl::Stream* stream = impl_->Find(handle, false);
  if (stream == nullptr) return kWaveInvalidHandle;
  stream->Started = false;
  if (!stream->Failed && pa_stream_get_state(stream->Handle) == PA_STREAM_READY) {
    if (pa_operation* operation = pa_stream_cork(stream->Handle, 1, nullptr, nullptr)) {
      pa_operation_unref(operation);
    }
  }
  while (!stream->Queue.empty()) {
    WaveHeader& header = *stream->Queue.front();
    stream->Queue.pop_front();
    stream->HandBack(header);
  }
  return kWaveOk;
}

int PulseWaveBackend::InUnprepareHeader(WaveHandle handle, WaveHeader& header) {
  Impl::Locked lock(impl_->Loop);
  if (impl_->Find(handle, false) == nullptr) return kWaveInvalidHandle;
  if ((header.Flags.load() & kWaveHeaderInQueue) != 0) return kWaveStillPlaying;
  header.Flags.fetch_and(~kWaveHeaderPrepared);
  return kWaveOk;
}

int PulseWaveBackend::InClose(WaveHandle handle) {
  Impl::Locked lock(impl_->Loop);
  Impl::Stream* stream = impl_->Find(handle, false);
  if (stream == nullptr) return kWaveInvalidHandle;
  if (!stream->Queue.empty()) return kWaveStillPlaying;
  impl_->Release(*stream);
  impl_->Streams.erase(handle);
  return kWaveOk;
}

std::optional<PulseBufferSizes> PulseWaveBackend::BufferSizes(WaveHandle handle) {
  Impl::Locked lock(impl_->Loop);
  const auto found = impl_->Streams.find(handle);
  if (found == impl_->Streams.end()) return std::nullopt;
  const pa_buffer_attr* granted = pa_stream_get_buffer_attr(found->second->Handle);
  if (granted == nullptr) return std::nullopt;
  return PulseBufferSizes{granted->tlength, granted->prebuf, granted->minreq, granted->fragsize};
}

}  // namespace platform
