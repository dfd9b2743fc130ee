#include "platform/PulseStream.h"

#include <array>
#include <chrono>

#include "platform/PulseConnection.h"

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

bool PulseStream::Connect(pa_context* context, const char* device) {
  const pa_sample_spec spec = TelephoneSpec();
  // A telephone call's streams: a server's policy may route them to a headset, lower other
  // streams meanwhile and, where it offers one, put its echo canceller between them, so
  // that the far end does not hear itself from the speaker.
  const PropertyList call =
      MakePropertyList({{PA_PROP_MEDIA_ROLE, "phone"}, {PA_PROP_FILTER_WANT, "echo-cancel"}});
  Handle = pa_stream_new_with_proplist(
      context, Playback ? "Telvarion playback" : "Telvarion capture", &spec, nullptr, call.get());
  if (Handle == nullptr) return false;
  pa_stream_set_state_callback(Handle, &PulseStream::OnStreamState, this);
  pa_buffer_attr attributes{};
  attributes.maxlength = kServerDefault;
  if (Playback) {
    attributes.tlength = kPlaybackTarget;
    attributes.prebuf = kPlaybackPrebuffer;
    attributes.minreq = kPlaybackMinimumRequest;
    attributes.fragsize = kServerDefault;
    pa_stream_set_write_callback(Handle, &PulseStream::OnWritable, this);
    pa_stream_set_underflow_callback(Handle, &PulseStream::OnUnderflow, this);
    return pa_stream_connect_playback(Handle, device, &attributes, PA_STREAM_NOFLAGS, nullptr,
                                      nullptr) == 0;
  }
  attributes.tlength = kServerDefault;
  attributes.prebuf = kServerDefault;
  attributes.minreq = kServerDefault;
  attributes.fragsize = kCaptureFragment;
  pa_stream_set_read_callback(Handle, &PulseStream::OnReadable, this);
  // Capture begins with InStart, as a wave device's does.
  return pa_stream_connect_record(Handle, device, &attributes,
                                  static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY |
                                                                 PA_STREAM_START_CORKED)) == 0;
}

void PulseStream::Release() {
  if (Handle == nullptr) return;
  pa_stream_set_state_callback(Handle, nullptr, nullptr);
  pa_stream_set_write_callback(Handle, nullptr, nullptr);
  pa_stream_set_underflow_callback(Handle, nullptr, nullptr);
  pa_stream_set_read_callback(Handle, nullptr, nullptr);
  if (PA_STREAM_IS_GOOD(pa_stream_get_state(Handle))) pa_stream_disconnect(Handle);
  pa_stream_unref(Handle);
  Handle = nullptr;
}

bool PulseStream::Ready() const {
  return !Failed && pa_stream_get_state(Handle) == PA_STREAM_READY;
}

void PulseStream::TakeCapture(WaveHandle handle, const Window& window) {
  Window notices = window;
  if (window.Channel != nullptr) {
    notices_ = std::make_unique<AfterRoundHandOff>(Loop, *window.Channel);
    notices.Channel = notices_.get();
  }
  Capture.emplace(handle, notices);
}

void PulseStream::HandBackWritten() {
  for (auto& [header, end] : Written)
    header->MarkDone();
  Written.clear();
}

void PulseStream::OnStreamState(pa_stream* handle, void* userdata) {
  auto* stream = static_cast<PulseStream*>(userdata);
  if (!PA_STREAM_IS_GOOD(pa_stream_get_state(handle))) {
    stream->Failed = true;
    stream->HandBackWritten();
  }
  stream->Loop.Signal();
}

// The server asks for more: what it has taken is done.
void PulseStream::OnWritable(pa_stream* handle, std::size_t, void* userdata) {
  auto* stream = static_cast<PulseStream*>(userdata);
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

void PulseStream::OnUnderflow(pa_stream*, void* userdata) {
  static_cast<PulseStream*>(userdata)->Starving = true;
}

void PulseStream::OnReadable(pa_stream* handle, std::size_t, void* userdata) {
  auto* stream = static_cast<PulseStream*>(userdata);
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
    stream->Loop.BeatAt(std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(missing / kBytesPerMillisecond) + kCaptureSlack);
  }
}

std::optional<std::size_t> PulseStream::WriteBlock(const WaveHeader& header) {
  if (!Ready()) return std::nullopt;
  if (Starving) {
    static constexpr std::array<char, kPlaybackLead> kSilence{};
    if (pa_stream_write(Handle, kSilence.data(), kSilence.size(), nullptr, 0, PA_SEEK_RELATIVE) <
        0) {
      return std::nullopt;
    }
    WrittenBytes += kSilence.size();
    Starving = false;
  }
  const std::size_t room = pa_stream_writable_size(Handle);
  if (pa_stream_write(Handle, header.Data, header.BufferLength, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
    return std::nullopt;
  }
  return room;
}

int PulseStream::Write(WaveHeader& header) {
  if (const int queued = QueueHeader(header); queued != kWaveOk) return queued;
  const std::optional<std::size_t> room = WriteBlock(header);
  if (!room) {
    // Nobody will take it: hand it straight back.
    header.MarkDone();
    return kWaveError;
  }
  WrittenBytes += header.BufferLength;
  // The server keeps its own copy: a block that fits in the target is not needed any more,
  // and waiting for the server's next report would hold the next packet back. Beyond the
  // target it waits, so that a fast sender cannot pile up delay in the server.
  if (Written.empty() && *room != static_cast<std::size_t>(-1) && *room >= header.BufferLength) {
    header.MarkDone();
  } else {
    Written.emplace_back(&header, WrittenBytes);
  }
  return kWaveOk;
}

void PulseStream::Flush() {
  if (Ready()) {
    if (pa_operation* operation = pa_stream_flush(Handle, nullptr, nullptr)) {
      pa_operation_unref(operation);
    }
  }
  HandBackWritten();
  Starving = true;
}

}  // namespace platform
