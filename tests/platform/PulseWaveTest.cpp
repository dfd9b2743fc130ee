// The wave layer against the real audio server its run started (tests/support/with-audio-server:
// PulseAudio, or PipeWire's pulse server), judged by the server's own view through pactl: what
// it knows of the program and its two streams, and, with the filter modules Debian's
// PulseAudio loads, the call's streams routed through its echo canceller; and by what the layer
// writes to the server, beside the underflows the server reports.
#include <gtest/gtest.h>
#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/PulseWaveBackend.h"
#include "support/Command.h"
#include "support/EventLoopHandOff.h"

// What the server was given, as the link hands it through (--wrap): each write of a stream and,
// in their order, the underflows the server reported. One playback stream at a time.
namespace {
std::mutex given_mutex;
std::vector<std::string> given;
std::atomic<pa_stream_notify_cb_t> underflowed = nullptr;
}  // namespace

extern "C" {
int __real_pa_stream_write(pa_stream*, const void*, std::size_t, pa_free_cb_t, std::int64_t,
                           pa_seek_mode_t);
void __real_pa_stream_set_underflow_callback(pa_stream*, pa_stream_notify_cb_t, void*);

int __wrap_pa_stream_write(pa_stream* stream, const void* data, std::size_t bytes,
                           pa_free_cb_t free, std::int64_t offset, pa_seek_mode_t seek) {
  std::lock_guard lock(given_mutex);
  given.emplace_back(static_cast<const char*>(data), bytes);
  return __real_pa_stream_write(stream, data, bytes, free, offset, seek);
}
void __wrap_pa_stream_set_underflow_callback(pa_stream* stream, pa_stream_notify_cb_t callback,
                                             void* userdata) {
  if (callback != nullptr) underflowed = callback;
  __real_pa_stream_set_underflow_callback(
      stream, callback == nullptr ? nullptr : +[](pa_stream* s, void* data) {
        underflowed.load()(s, data);
        std::lock_guard lock(given_mutex);
        given.emplace_back("underflow");
      }, userdata);
}
}

namespace platform {
namespace {

using namespace std::chrono_literals;
using testsupport::RunCommand;

// The entries of `pactl list sink-inputs|source-outputs|sinks|sources`, each its fields and
// properties by name ("Sink: 3", "media.name = \"...\""), and "#" its number.
using PactlEntry = std::map<std::string, std::string>;
std::vector<PactlEntry> PactlList(const std::string& kind) {
  std::vector<PactlEntry> entries;
  std::istringstream lines(RunCommand("LC_ALL=C pactl list " + kind).Output);
  std::smatch field;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, field, std::regex(R"(\S.* #(\d+))"))) {
      entries.emplace_back()["#"] = field[1];
    } else if (!entries.empty() &&
               std::regex_match(line, field, std::regex(R"-(\t\t?([^:=]+?)(: | = ")(.*?)"?)-"))) {
      entries.back()[field[1]] = field[3];
    }
  }
  return entries;
}

// The stream the program named `mediaName`, with "Device" the name of the device it is on.
std::optional<PactlEntry> Stream(const std::string& kind, const std::string& mediaName) {
  const bool playback = kind == "sink-inputs";
  for (PactlEntry& stream : PactlList(kind)) {
    if (stream["media.name"] != mediaName) continue;
    for (PactlEntry& device : PactlList(playback ? "sinks" : "sources"))
      if (device["#"] == stream[playback ? "Sink" : "Source"]) stream["Device"] = device["Name"];
    return stream;
  }
  return std::nullopt;
}

// A condition on the server's state, asked again every 20 ms.
bool Eventually(const std::function<bool()>& done) {
  return testsupport::Eventually(done, 20ms);
}

// A call's two devices, opened on the server's defaults (speaker and microphone).
class PulseWaveTest : public ::testing::Test, public MessageTarget {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr)
        << "run by tests/support/with-audio-server, which starts a private server";
  }
  void TearDown() override {
    stopping_ = true;
    if (capture_ != kNoWaveHandle) {
      backend_.InReset(capture_);
      loop_.RunFor(0ms);
      EXPECT_EQ(backend_.InClose(capture_), kWaveOk);
    }
    if (playback_ != kNoWaveHandle) {
      EXPECT_EQ(backend_.OutClose(playback_), kWaveOk);
    }
  }
  // In the audio engine's order: the microphone first.
  void OpenCall() {
    ASSERT_EQ(backend_.InOpen(capture_, kWaveDefaultDevice, WaveFormat{}, Window{&loop_, this}),
              kWaveOk);
    ASSERT_EQ(backend_.OutOpen(playback_, kWaveDefaultDevice, WaveFormat{}), kWaveOk);
  }
  // A header over `block`, kept until the end.
  WaveHeader& Header(std::string& block) {
    WaveHeader& header = *headers_.emplace_back(std::make_unique<WaveHeader>());
    header.Data = block.data();
    header.BufferLength = kFrameBytes;
    return header;
  }
  // A block written to the playback device.
  WaveHeader& Play(std::string& block) {
    WaveHeader& header = Header(block);
    EXPECT_EQ(backend_.OutPrepareHeader(playback_, header), kWaveOk);
    EXPECT_EQ(backend_.OutWrite(playback_, header), kWaveOk);
    return header;
  }
  // Queues four blocks on the capture device and starts it; each filled one comes back.
  void StartCapture() {
    for (std::string& block : blocks_) {
      WaveHeader& header = Header(block);
      ASSERT_EQ(backend_.InPrepareHeader(capture_, header), kWaveOk);
      ASSERT_EQ(backend_.InAddBuffer(capture_, header), kWaveOk);
    }
    ASSERT_EQ(backend_.InStart(capture_), kWaveOk);
  }
  void HandleWindowMessage(const WindowMessage& message) override {
    if (message.Message != platform::MessageNumber::WaveInData || stopping_) return;
    const CaptureBlock block = std::get<CaptureBlock>(message.Data);
    if (block.Header->BytesRecorded == kFrameBytes) ++filled_;
    backend_.InAddBuffer(block.Device, *block.Header);
  }

  testsupport::EventLoopHandOff loop_;
  std::vector<std::string> blocks_ = std::vector<std::string>(4, std::string(kFrameBytes, '\0'));
  std::vector<std::unique_ptr<WaveHeader>> headers_;
  PulseWaveBackend backend_;
  WaveHandle playback_ = kNoWaveHandle;
  WaveHandle capture_ = kNoWaveHandle;
  int filled_ = 0;
  bool stopping_ = false;
};

TEST_F(PulseWaveTest, BothStreamsSayTheyAreTelvarionsTelephoneCall) {
  OpenCall();
  for (const auto& [kind, name] : {std::pair{"sink-inputs", "Telvarion playback"},
                                   std::pair{"source-outputs", "Telvarion capture"}}) {
    SCOPED_TRACE(kind);
    std::optional<PactlEntry> stream = Stream(kind, name);
    ASSERT_TRUE(stream) << RunCommand("pactl list " + std::string(kind)).Output;
    // The program's own, merged by the server from its connection, and the stream's.
    EXPECT_EQ((*stream)["application.name"], "Telvarion");
    EXPECT_EQ((*stream)["application.id"], "telvarion");
    EXPECT_EQ((*stream)["application.icon_name"], "telvarion");
    EXPECT_EQ((*stream)["media.role"], "phone");
    EXPECT_EQ((*stream)["filter.want"], "echo-cancel");
  }
}

// A handle names one open stream of one kind: another kind's or a closed one's is refused,
// and a closed stream is gone from the server.
TEST_F(PulseWaveTest, AHandleOfTheWrongKindOrClosedIsRefused) {
  OpenCall();
  WaveHeader& header = Header(blocks_[0]);
  EXPECT_EQ(backend_.OutPrepareHeader(capture_, header), kWaveInvalidHandle);
  EXPECT_EQ(backend_.InPrepareHeader(playback_, header), kWaveInvalidHandle);
  EXPECT_EQ(backend_.OutWrite(capture_, header), kWaveInvalidHandle);
  EXPECT_EQ(backend_.InAddBuffer(playback_, header), kWaveInvalidHandle);
  ASSERT_EQ(backend_.OutClose(playback_), kWaveOk);
  const WaveHandle closed = std::exchange(playback_, kNoWaveHandle);
  EXPECT_EQ(backend_.OutReset(closed), kWaveInvalidHandle);
  EXPECT_EQ(backend_.OutClose(closed), kWaveInvalidHandle);
  EXPECT_TRUE(Eventually([] { return !Stream("sink-inputs", "Telvarion playback"); }))
      << RunCommand("pactl list sink-inputs").Output;
}

// A call's capture: the server's pieces are read a few at a time, yet none is left behind.
TEST_F(PulseWaveTest, CaptureKeepsUpWithTheMicrophone) {
  OpenCall();
  StartCapture();
  // 3 s of audio is 100 blocks; reading less than all the server sent falls behind for good.
  loop_.RunFor(3s);
  EXPECT_GE(filled_, 85);
  EXPECT_LE(filled_, 101);
}

// Playback as the audio engine drives it, while the speaker plays nothing (suspended; only
// PulseAudio plays the stream again once it resumes): the block beyond the server's target (three
// blocks, the lead among them) waits until the server has played enough to take it in, so that a
// fast sender piles up no delay.
TEST_F(PulseWaveTest, PlaybackNeverRunsAheadOfTheServer) {
  OpenCall();
  ASSERT_EQ(RunCommand("pactl suspend-sink speaker 1").ExitCode, 0);
  const struct Resume {
    ~Resume() { RunCommand("pactl suspend-sink speaker 0"); }
  } resume;
  Play(blocks_[0]);
  Play(blocks_[1]);
  const WaveHeader& beyond = Play(blocks_[2]);
  EXPECT_FALSE(beyond.Done());
  ASSERT_EQ(RunCommand("pactl suspend-sink speaker 0").ExitCode, 0);
  EXPECT_TRUE(Eventually([&] { return beyond.Done(); }));
}

// Playback starts with 15 ms of silence ahead of its first block, and again after the stream ran
// dry, so that a packet a little late finds the server still playing; a block that finds it
// playing goes alone. A block within the server's target is done at once: the server keeps a
// copy, and the next packet must not wait for its next report.
TEST_F(PulseWaveTest, PlaybackStartsAndRestartsWithALeadOfSilence) {
  OpenCall();
  std::string a(kFrameBytes, 'a'), b(kFrameBytes, 'b'), c(kFrameBytes, 'c');
  // The server's side in one line: "." the lead (15 ms: 240 zero bytes at 8000 16-bit samples
  // a second), a block's letter, "|" an underflow.
  const auto heard = [] {
    std::lock_guard lock(given_mutex);
    std::string line;
    for (const std::string& entry : given)
      line += entry == "underflow" ? '|' : entry == std::string(240, '\0') ? '.' : entry[0];
    return line;
  };
  {
    std::lock_guard lock(given_mutex);
    given.clear();
  }
  EXPECT_TRUE(Play(a).Done());
  EXPECT_TRUE(Play(b).Done());
  ASSERT_TRUE(Eventually([&] { return heard().ends_with('|'); })) << "no underflow: " << heard();
  EXPECT_TRUE(Play(c).Done());
  // An underflow may come between any two writes, as the scheduler has it.
  EXPECT_TRUE(std::regex_match(heard(), std::regex(R"(\|*\.a(\|+\.)?b\|+\.c\|*)"))) << heard();
}

// As /etc/pulse/default.pa loads them on Debian: filter-heuristics and filter-apply, which load
// the filter a stream asks for and move the stream onto it.
class FilteringServerTest : public PulseWaveTest {
 protected:
  void SetUp() override {
    PulseWaveTest::SetUp();
    for (const char* module : {"module-filter-heuristics", "module-filter-apply"}) {
      const auto loaded = RunCommand(std::string("pactl load-module ") + module);
      ASSERT_EQ(loaded.ExitCode, 0) << module << ": " << loaded.Output;
      modules_.push_back(loaded.Output.substr(0, loaded.Output.find('\n')));
    }
  }
  void TearDown() override {
    PulseWaveTest::TearDown();
    for (const std::string& module : modules_)
      RunCommand("pactl unload-module " + module);
  }
  std::vector<std::string> modules_;
};

TEST_F(FilteringServerTest, TheCallsStreamsPassThroughTheEchoCanceller) {
  OpenCall();
  // The canceller's pair of devices over the call's speaker and microphone.
  ASSERT_TRUE(Eventually([] {
    auto capture = Stream("source-outputs", "Telvarion capture");
    return capture && (*capture)["Device"] == "microphone.echo-cancel";
  })) << RunCommand("pactl list short modules; pactl list short sources; pactl list source-outputs")
             .Output;
  EXPECT_TRUE(Eventually([] {
    auto playback = Stream("sink-inputs", "Telvarion playback");
    return playback && (*playback)["Device"] == "speaker.echo-cancel";
  })) << RunCommand("pactl list short sinks; pactl list sink-inputs").Output;
  // And the capture still delivers whole blocks through it.
  StartCapture();
  EXPECT_TRUE(loop_.RunUntil([&] { return filled_ >= 10; }, 3s)) << filled_ << " blocks";
}

}  // namespace
}  // namespace platform
