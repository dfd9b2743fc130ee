// Measures, on a private PulseAudio daemon with null devices, the time from Play receiving a
// 30 ms tone burst to its first samples on the speaker's monitor, and from a burst entering the
// microphone's sink to the window's receipt of the block that carries it, once the audio engine
// has sent it from the capture device's thread.
// Prints the figures and the buffer sizes; run by bench/audio-latency, under
// tests/support/with-audio-server.
#include <pulse/simple.h>

#include <dirent.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <numbers>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "media/PCMA.h"
#include "platform/PulseWaveBackend.h"
#include "platform/ThreadName.h"
#include "support/EventLoopHandOff.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr int kTrials = 20;
constexpr int kLoud = 8000;

// `samples` of a sine at `frequency` Hz and `amplitude` of full scale, 16-bit low byte first.
std::string Tone(std::size_t samples, double frequency, double amplitude) {
  std::string linear;
  for (std::size_t n = 0; n < samples; ++n) {
    const double phase = 2 * std::numbers::pi * frequency * static_cast<double>(n) / 8000;
    const auto sample = static_cast<std::int16_t>(std::lround(amplitude * 32767 * std::sin(phase)));
    linear += {static_cast<char>(sample & 0xFF), static_cast<char>((sample >> 8) & 0xFF)};
  }
  return linear;
}

bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  for (const auto deadline = Clock::now() + timeout; !done();) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// The engine keeps its device handles to itself; a stream opened alike, on the same device, is
// granted the same sizes.
std::optional<platform::PulseBufferSizes> PlaybackSizes(platform::PulseWaveBackend& backend,
                                                        std::int32_t device) {
  platform::WaveHandle handle = platform::kNoWaveHandle;
  if (backend.OutOpen(handle, device, platform::WaveFormat{}) != platform::kWaveOk) return {};
  const auto sizes = backend.BufferSizes(handle);
  backend.OutClose(handle);
  return sizes;
}

std::optional<platform::PulseBufferSizes> CaptureSizes(platform::PulseWaveBackend& backend,
                                                       std::int32_t device) {
  platform::WaveHandle handle = platform::kNoWaveHandle;
  if (backend.InOpen(handle, device, platform::WaveFormat{}, platform::Window{}) !=
      platform::kWaveOk) {
    return {};
  }
  const auto sizes = backend.BufferSizes(handle);
  backend.InClose(handle);
  return sizes;
}

int Peak(const char* data, std::size_t bytes) {
  int peak = 0;
  for (std::size_t i = 0; i + 1 < bytes; i += 2) {
    const auto sample = static_cast<std::int16_t>(static_cast<std::uint8_t>(data[i]) |
                                                  (static_cast<std::uint8_t>(data[i + 1]) << 8));
    peak = std::max(peak, std::abs(static_cast<int>(sample)));
  }
  return peak;
}

std::int32_t Position(const std::vector<platform::WaveDeviceInfo>& devices,
                      const std::string& name) {
  for (std::size_t i = 0; i < devices.size(); ++i)
    if (devices[i].Name == name) return static_cast<std::int32_t>(i);
  return media::kNoDeviceChosen;
}

void Report(const char* what, std::vector<double> figures) {
  std::sort(figures.begin(), figures.end());
  if (figures.empty()) {
    std::printf("%s: no burst detected\n", what);
    return;
  }
  std::printf("%s: median %.1f ms, min %.1f ms, max %.1f ms (%zu bursts)\n", what,
              figures[figures.size() / 2], figures.front(), figures.back(), figures.size());
}

struct Window final : platform::MessageTarget {
  void HandleWindowMessage(const platform::WindowMessage& message) override {
    const auto* heard = std::get_if<platform::CapturedSamples>(&message.Data);
    if (heard == nullptr) return;
    if (Waiting && heard->Samples.size() == 480 && Peak(heard->Samples.data(), 480) > kLoud) {
      Arrived = Clock::now();
      Waiting = false;
    }
  }
  bool Waiting = false;
  Clock::time_point Arrived;
};

// Voluntary context switches so far of each of this process's threads named `name`.
long VoluntarySwitches(const std::string& name) {
  long total = 0;
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return -1;
  while (const dirent* entry = readdir(tasks)) {
    const std::string task = std::string("/proc/self/task/") + entry->d_name;
    std::ifstream comm(task + "/comm");
    std::string threadName;
    if (!std::getline(comm, threadName) || threadName != name) continue;
    std::ifstream status(task + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) total += std::stol(line.substr(24));
    }
  }
  closedir(tasks);
  return total;
}

// A call's steady state without the network: both devices open, a 30 ms block played every
// 30 ms as packets would bring it, capture handed back as the window does. Prints how often
// the audio server's loop thread and the hand-off's thread (this one) woke a second.
constexpr const char* kHandOffThread = "hand-off";

void SteadyCall(media::TPCMA& engine, testsupport::EventLoopHandOff& loop) {
  constexpr auto kSteady = 10s;
  if (!engine.OpenOutput() || !engine.OpenInput()) return;
  std::atomic<bool> playing{true};
  std::thread packets([&] {
    const std::string block = Tone(240, 440.0, 0.1);
    for (auto next = Clock::now(); playing; next += 30ms) {
      std::this_thread::sleep_until(next);
      engine.Play(block);
    }
  });
  loop.RunFor(1000ms);
  const long loopBefore = VoluntarySwitches("audio loop");
  const long mainBefore = VoluntarySwitches(kHandOffThread);
  loop.RunFor(std::chrono::duration_cast<std::chrono::milliseconds>(kSteady));
  const long loopWakes = VoluntarySwitches("audio loop") - loopBefore;
  const long mainWakes = VoluntarySwitches(kHandOffThread) - mainBefore;
  playing = false;
  packets.join();
  engine.CloseInput();
  engine.CloseOutput();
  const double seconds = std::chrono::duration<double>(kSteady).count();
  std::printf("steady call, wake-ups a second: audio loop %.0f, capture hand-off %.0f\n",
              static_cast<double>(loopWakes) / seconds, static_cast<double>(mainWakes) / seconds);
}

}  // namespace

int main() {
  if (std::getenv("PULSE_SERVER") == nullptr) {
    std::fprintf(stderr, "run by tests/support/with-audio-server, which starts a private server\n");
    return 1;
  }
  platform::NameThisThread(kHandOffThread);
  platform::PulseWaveBackend backend;
  testsupport::EventLoopHandOff loop;
  Window window;
  media::TPCMA engine(platform::Window{&loop, &window}, backend);
  const std::int32_t speaker = Position(backend.OutputDevices(), "speaker");
  const std::int32_t microphone = Position(backend.InputDevices(), "microphone");
  engine.SetOutputDevice(speaker);
  engine.SetInputDevice(microphone);
  const std::string burst = Tone(240, 1000.0, 0.6);

  // Playback: a recorder of the speaker's monitor in 5 ms pieces.
  std::atomic<bool> listening{true};
  std::atomic<bool> waiting{false};
  std::atomic<Clock::rep> heardAt{0};
  std::thread monitor([&] {
    const pa_sample_spec spec{PA_SAMPLE_S16LE, 8000, 1};
    pa_buffer_attr attributes{static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                              static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1), 80};
    pa_simple* recorder = pa_simple_new(nullptr, "latency", PA_STREAM_RECORD, "speaker.monitor",
                                        "monitor", &spec, nullptr, &attributes, nullptr);
    if (recorder == nullptr) return;
    char piece[80];
    while (listening) {
      if (pa_simple_read(recorder, piece, sizeof piece, nullptr) < 0) break;
      if (waiting && Peak(piece, sizeof piece) > kLoud) {
        heardAt = Clock::now().time_since_epoch().count();
        waiting = false;
      }
    }
    pa_simple_free(recorder);
  });
  if (!engine.OpenOutput()) return 1;
  std::this_thread::sleep_for(500ms);
  std::vector<double> playback;
  for (int trial = 0; trial < kTrials; ++trial) {
    std::this_thread::sleep_for(200ms);
    waiting = true;
    const auto start = Clock::now();
    engine.Play(burst);
    if (!Eventually([&] { return !waiting; }, 2000ms)) continue;
    playback.push_back(std::chrono::duration<double, std::milli>(Clock::duration(heardAt.load()) -
                                                                 start.time_since_epoch())
                           .count());
  }
  engine.CloseOutput();
  listening = false;
  monitor.join();

  // Capture: bursts written into the microphone's sink.
  platform::WaveHandle feed = platform::kNoWaveHandle;
  if (backend.OutOpen(feed, Position(backend.OutputDevices(), "micfeed"), platform::WaveFormat{}) !=
          platform::kWaveOk ||
      !engine.OpenInput()) {
    return 1;
  }
  std::vector<char> feedBlock(burst.begin(), burst.end());
  platform::WaveHeader feedHeader;
  feedHeader.Data = feedBlock.data();
  feedHeader.BufferLength = 480;
  backend.OutPrepareHeader(feed, feedHeader);
  loop.RunFor(500ms);
  std::vector<double> capture;
  for (int trial = 0; trial < kTrials; ++trial) {
    loop.RunFor(200ms);
    window.Waiting = true;
    const auto start = Clock::now();
    backend.OutWrite(feed, feedHeader);
    if (!loop.RunUntil([&] { return !window.Waiting; }, 2000ms)) continue;
    capture.push_back(std::chrono::duration<double, std::milli>(window.Arrived - start).count());
  }
  engine.CloseInput();
  backend.OutReset(feed);
  backend.OutUnprepareHeader(feed, feedHeader);
  backend.OutClose(feed);
  SteadyCall(engine, loop);
  const auto playbackSizes = PlaybackSizes(backend, speaker);
  const auto captureSizes = CaptureSizes(backend, microphone);

  std::printf("engine blocks: 3 x 480 bytes (30 ms) each way\n");
  if (playbackSizes) {
    std::printf("playback stream: tlength %u, prebuf %u, minreq %u bytes\n",
                playbackSizes->TargetLength, playbackSizes->Prebuffer,
                playbackSizes->MinimumRequest);
  }
  if (captureSizes) std::printf("capture stream: fragsize %u bytes\n", captureSizes->Fragment);
  std::printf("monitor recorder: fragsize 80 bytes (5 ms)\n");
  Report("Play -> speaker monitor", playback);
  Report("microphone sink -> window", capture);
  return 0;
}
