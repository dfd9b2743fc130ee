// The wave-device layer against a real PulseAudio daemon started for the run: the device lists
// and defaults as pactl sees them, change events, capture pace and framing, playback reaching
// the speaker intact through the audio engine, and a server that is absent or goes away.
#include "platform/PulseWave.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "AudioTestSupport.h"
#include "PulseServer.h"
#include "media/Pcma.h"
#include "platform/EventLoopHandOff.h"
#include "support/Command.h"

namespace media {
namespace {

using namespace std::chrono_literals;
using platform::PulseWaveBackend;
using platform::WaveDeviceInfo;
using testing::PulseServer;
using testsupport::RunCommand;

struct PactlDevice {
  std::string Name;
  std::string Description;
  bool Monitor = false;
};

// `pactl list sinks|sources` read block by block.
std::vector<PactlDevice> PactlList(const std::string& kind) {
  std::vector<PactlDevice> devices;
  std::istringstream lines(RunCommand("LC_ALL=C pactl list " + kind).Output);
  std::string line;
  while (std::getline(lines, line)) {
    const auto field = [&](const std::string& name) -> std::optional<std::string> {
      const std::size_t at = line.find(name + ": ");
      if (at == std::string::npos || line.find_first_not_of('\t') != at) return std::nullopt;
      return line.substr(at + name.size() + 2);
    };
    if (line.rfind("Sink #", 0) == 0 || line.rfind("Source #", 0) == 0) devices.emplace_back();
    if (devices.empty()) continue;
    if (auto name = field("Name")) devices.back().Name = *name;
    if (auto description = field("Description")) devices.back().Description = *description;
    if (auto monitor = field("Monitor of Sink")) devices.back().Monitor = *monitor != "n/a";
  }
  return devices;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  return text;
}

// The power of one frequency in 16-bit little-endian samples, relative to full scale.
double Goertzel(const std::string& linear, double frequency) {
  const double coefficient = 2.0 * std::cos(2.0 * 3.141592653589793 * frequency / 8000.0);
  double previous = 0.0;
  double beforePrevious = 0.0;
  const std::size_t samples = linear.size() / 2;
  for (std::size_t i = 0; i < samples; ++i) {
    const auto sample = static_cast<std::int16_t>(
        static_cast<std::uint8_t>(linear[2 * i]) |
        (static_cast<std::uint16_t>(static_cast<std::uint8_t>(linear[2 * i + 1])) << 8));
    const double current = sample / 32768.0 + coefficient * previous - beforePrevious;
    beforePrevious = previous;
    previous = current;
  }
  const double power = previous * previous + beforePrevious * beforePrevious -
                       coefficient * previous * beforePrevious;
  return power / (static_cast<double>(samples) * static_cast<double>(samples));
}

class PulseWaveTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = std::make_unique<PulseServer>();
    if (server_->Running()) server_->ExportClientEnvironment();
  }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(server_->Running()) << server_->Log();
    backend_ = std::make_unique<PulseWaveBackend>();
  }
  void TearDown() override { backend_.reset(); }

  static std::int32_t Position(const std::vector<WaveDeviceInfo>& devices,
                               const std::string& name) {
    for (std::size_t i = 0; i < devices.size(); ++i) {
      if (devices[i].Name == name) return static_cast<std::int32_t>(i);
    }
    return -2;
  }

  static std::unique_ptr<PulseServer> server_;
  std::unique_ptr<PulseWaveBackend> backend_;
};

std::unique_ptr<PulseServer> PulseWaveTest::server_;

// --- Devices ------------------------------------------------------------------------------------

TEST_F(PulseWaveTest, DeviceListsAndDefaultsMatchPactl) {
  std::vector<PactlDevice> sinks = PactlList("sinks");
  std::vector<PactlDevice> sources = PactlList("sources");
  std::erase_if(sources, [](const PactlDevice& source) { return source.Monitor; });
  ASSERT_EQ(sinks.size(), 3u);
  ASSERT_EQ(sources.size(), 1u);

  const std::vector<WaveDeviceInfo> outputs = backend_->OutputDevices();
  ASSERT_EQ(outputs.size(), sinks.size());
  for (std::size_t i = 0; i < sinks.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(outputs[i].Name, sinks[i].Name);
    EXPECT_EQ(outputs[i].Description, sinks[i].Description);
  }
  const std::vector<WaveDeviceInfo> inputs = backend_->InputDevices();
  ASSERT_EQ(inputs.size(), 1u);
  EXPECT_EQ(inputs[0].Name, "microphone");
  EXPECT_EQ(inputs[0].Description, sources[0].Description);

  EXPECT_EQ(backend_->DefaultOutput(), Trimmed(RunCommand("pactl get-default-sink").Output));
  EXPECT_EQ(backend_->DefaultInput(), Trimmed(RunCommand("pactl get-default-source").Output));
  EXPECT_EQ(backend_->DefaultOutput(), "speaker");
  EXPECT_EQ(backend_->DefaultInput(), "microphone");
}

TEST_F(PulseWaveTest, LoadingAndUnloadingANullSinkRaisesTheChangeEvent) {
  platform::EventLoopHandOff loop;
  testing::CaptureWindow window;
  ASSERT_TRUE(backend_->WatchDevices(platform::Window{&loop, &window}));

  const auto loaded = RunCommand(
      "pactl load-module module-null-sink sink_name=extra format=s16le rate=8000 channels=1");
  ASSERT_EQ(loaded.ExitCode, 0) << loaded.Output;
  EXPECT_TRUE(loop.RunUntil([&] { return window.DeviceChanges >= 1; }, 3000ms));
  const std::vector<WaveDeviceInfo> outputs = backend_->OutputDevices();
  ASSERT_EQ(outputs.size(), 4u);
  EXPECT_EQ(outputs.back().Name, "extra");

  loop.RunFor(50ms);
  window.DeviceChanges = 0;
  const auto unloaded = RunCommand("pactl unload-module " + Trimmed(loaded.Output));
  ASSERT_EQ(unloaded.ExitCode, 0) << unloaded.Output;
  EXPECT_TRUE(loop.RunUntil([&] { return window.DeviceChanges >= 1; }, 3000ms));
  EXPECT_EQ(Position(backend_->OutputDevices(), "extra"), -2);

  backend_->UnwatchDevices();
  loop.RunFor(50ms);
  window.DeviceChanges = 0;
  RunCommand("pactl load-module module-null-sink sink_name=unwatched");
  loop.RunFor(300ms);
  EXPECT_EQ(window.DeviceChanges, 0);
}

TEST_F(PulseWaveTest, ADeviceNumberOutsideTheListOpensNothing) {
  platform::WaveHandle handle = 7;
  const auto count = static_cast<std::int32_t>(backend_->OutputDevices().size());
  EXPECT_EQ(backend_->OutOpen(handle, count, platform::WaveFormat{}), platform::kWaveBadDeviceId);
  EXPECT_EQ(handle, platform::kNoWaveHandle);
  EXPECT_EQ(backend_->OutOpen(handle, -2, platform::WaveFormat{}), platform::kWaveBadDeviceId);
  platform::WaveFormat stereo;
  stereo.Channels = 2;
  EXPECT_EQ(backend_->OutOpen(handle, -1, stereo), platform::kWaveBadFormat);
  ASSERT_EQ(backend_->OutOpen(handle, 0, platform::WaveFormat{}), platform::kWaveOk);
  EXPECT_EQ(backend_->OutClose(handle), platform::kWaveOk);
  EXPECT_EQ(backend_->OutClose(handle), platform::kWaveInvalidHandle);
}

// --- Capture ------------------------------------------------------------------------------------

// Hands each captured block straight back, remembering what it held and when it came.
class Recorder final : public platform::MessageTarget {
 public:
  explicit Recorder(platform::WaveBackend& backend) : backend_(backend) {}
  void HandleWindowMessage(const platform::WindowMessage& message) override {
    if (message.Message != platform::kWaveInData) return;
    auto& header = *reinterpret_cast<platform::WaveHeader*>(message.LParam);
    Times.push_back(std::chrono::steady_clock::now());
    Sizes.push_back(header.BytesRecorded);
    Frames.emplace_back(header.Data, header.BytesRecorded);
    EXPECT_TRUE(header.Done());
    backend_.InAddBuffer(static_cast<platform::WaveHandle>(message.WParam), header);
  }
  std::vector<std::chrono::steady_clock::time_point> Times;
  std::vector<std::uint32_t> Sizes;
  std::vector<std::string> Frames;

 private:
  platform::WaveBackend& backend_;
};

TEST_F(PulseWaveTest, AToneIntoTheMicrophoneIsCapturedIn480ByteFramesEvery30Milliseconds) {
  testsupport::TemporaryDirectory scratch;
  const std::string tone = scratch.Path() + "/tone.raw";
  std::ofstream(tone, std::ios::binary) << testing::Tone(8000 * 3, 1000.0);
  std::thread feeder([&] {
    RunCommand(
        "timeout 10 pacat --playback --raw --device=micfeed --format=s16le --rate=8000 "
        "--channels=1 --latency-msec=20 '" +
        tone + "'");
  });

  platform::EventLoopHandOff loop;
  Recorder recorder(*backend_);
  std::array<platform::WaveHeader, 3> headers;
  std::array<std::array<char, 480>, 3> blocks{};
  platform::WaveHandle handle = platform::kNoWaveHandle;
  ASSERT_EQ(backend_->InOpen(handle, platform::kWaveDefaultDevice, platform::WaveFormat{},
                             platform::Window{&loop, &recorder}),
            platform::kWaveOk);
  for (std::size_t i = 0; i < headers.size(); ++i) {
    headers[i].Data = blocks[i].data();
    headers[i].BufferLength = 480;
    backend_->InPrepareHeader(handle, headers[i]);
    ASSERT_EQ(backend_->InAddBuffer(handle, headers[i]), platform::kWaveOk);
  }
  // Let the feeder start, then measure 60 frames.
  std::this_thread::sleep_for(300ms);
  ASSERT_EQ(backend_->InStart(handle), platform::kWaveOk);
  loop.RunUntil([&] { return recorder.Times.size() >= 61; }, 5000ms);
  backend_->InReset(handle);
  for (auto& header : headers)
    backend_->InUnprepareHeader(handle, header);
  EXPECT_EQ(backend_->InClose(handle), platform::kWaveOk);
  // The blocks the reset handed back meet a closed device.
  loop.RunFor(50ms);
  feeder.join();

  ASSERT_GE(recorder.Times.size(), 61u);
  for (std::size_t i = 0; i < 61; ++i)
    EXPECT_EQ(recorder.Sizes[i], 480u) << i;
  // A steady pace: 60 intervals average 30 ms, none long.
  const double average =
      std::chrono::duration<double, std::milli>(recorder.Times[60] - recorder.Times[0]).count() /
      60.0;
  EXPECT_NEAR(average, 30.0, 3.0);
  for (std::size_t i = 1; i <= 60; ++i) {
    EXPECT_LT(recorder.Times[i] - recorder.Times[i - 1], 100ms) << i;
  }
  // The tone is what was captured.
  int toneFrames = 0;
  for (std::size_t i = 0; i < 61; ++i) {
    if (Goertzel(recorder.Frames[i], 1000.0) > 100.0 * Goertzel(recorder.Frames[i], 1500.0) &&
        Goertzel(recorder.Frames[i], 1000.0) > 0.01) {
      ++toneFrames;
    }
  }
  EXPECT_GE(toneFrames, 50);
}

// --- Playback through the engine -----------------------------------------------------------------

TEST_F(PulseWaveTest, AudioGivenToPlayReachesTheSpeakerMonitorBitExactInOrder) {
  testsupport::TemporaryDirectory scratch;
  const std::string recording = scratch.Path() + "/speaker.raw";
  // The recorder runs in the background (bounded by timeout) until the test stops it by PID.
  const std::string started =
      RunCommand(
          "timeout 10 parec --raw --device=speaker.monitor --format=s16le --rate=8000 --channels=1 "
          "--latency-msec=20 > '" +
          recording + "' 2>/dev/null & echo $!")
          .Output;
  const pid_t recorder = static_cast<pid_t>(std::stoi(started));
  ASSERT_TRUE(testing::Eventually(
      [&] {
        std::error_code ignored;
        return std::filesystem::file_size(recording, ignored) > 0;
      },
      5000ms));

  platform::EventLoopHandOff loop;
  testing::CaptureWindow window;
  TPCMA engine(platform::Window{&loop, &window}, *backend_);
  engine.OutputDevice = Position(backend_->OutputDevices(), "speaker");
  ASSERT_TRUE(engine.OpenOutput());
  constexpr int kBlocks = 40;
  std::vector<std::string> blocks;
  for (int i = 0; i < kBlocks; ++i)
    blocks.push_back(testing::Signal(480, i + 1));
  // As packets arrive: three at once, then one every 30 ms.
  engine.Play(blocks[0] + blocks[1] + blocks[2]);
  auto next = std::chrono::steady_clock::now();
  for (int i = 3; i < kBlocks; ++i) {
    next += 30ms;
    std::this_thread::sleep_until(next);
    engine.Play(blocks[static_cast<std::size_t>(i)]);
  }
  for (int i = 0; i < 6; ++i) {
    next += 30ms;
    std::this_thread::sleep_until(next);
    engine.Play({});
  }
  std::this_thread::sleep_for(200ms);
  engine.CloseOutput();
  kill(recorder, SIGTERM);
  testing::Eventually([&] { return kill(recorder, 0) != 0; }, 3000ms);

  std::ifstream in(recording, std::ios::binary);
  const std::string heard((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The server rewinds the sink to start a new stream at once, and a monitor misses what was
  // rewound: the first few milliseconds of the first block can be lost to the recording. From
  // there on every block must follow bit-exact, with nothing between.
  std::string expected;
  for (const std::string& block : blocks)
    expected += block;
  constexpr std::size_t kStartAllowance = 160;  // 10 ms
  const std::size_t found = heard.find(expected.substr(kStartAllowance));
  ASSERT_NE(found, std::string::npos) << "heard " << heard.size() << " bytes";
}

// --- No server ----------------------------------------------------------------------------------

TEST_F(PulseWaveTest, WithoutAServerEveryOpenFailsAtOnce) {
  PulseWaveBackend absent("unix:/nonexistent/telvarion/native", 1000ms);
  platform::EventLoopHandOff loop;
  testing::CaptureWindow window;
  const auto before = std::chrono::steady_clock::now();
  platform::WaveHandle handle = 9;
  EXPECT_EQ(absent.OutOpen(handle, platform::kWaveDefaultDevice, platform::WaveFormat{}),
            platform::kWaveNoDriver);
  EXPECT_EQ(handle, platform::kNoWaveHandle);
  EXPECT_EQ(absent.InOpen(handle, 0, platform::WaveFormat{}, platform::Window{&loop, &window}),
            platform::kWaveNoDriver);
  EXPECT_TRUE(absent.OutputDevices().empty());
  EXPECT_TRUE(absent.InputDevices().empty());
  EXPECT_EQ(absent.DefaultOutput(), "");
  EXPECT_FALSE(absent.WatchDevices(platform::Window{&loop, &window}));
  // The engine goes on without devices, as with a device that cannot be opened.
  TPCMA engine(platform::Window{&loop, &window}, absent);
  engine.OutputDevice = platform::kWaveDefaultDevice;
  engine.InputDevice = platform::kWaveDefaultDevice;
  EXPECT_FALSE(engine.OpenOutput());
  EXPECT_FALSE(engine.OpenInput());
  engine.Play(testing::Signal(960));
  engine.SendDigit(1);
  EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
  // A window that lists the devices on every change must not be sent round in circles: a
  // failed attempt to reach the server is no change.
  for (int listing = 0; listing < 3; ++listing)
    absent.OutputDevices();
  EXPECT_EQ(loop.RunFor(200ms), 0);
  EXPECT_EQ(window.DeviceChanges, 0);
}

TEST_F(PulseWaveTest, AServerThatGoesAwayMidCallLeavesTheEngineToCloseCleanly) {
  PulseServer other;
  ASSERT_TRUE(other.Running()) << other.Log();
  PulseWaveBackend backend(other.Address(), 1000ms);
  platform::EventLoopHandOff loop;
  testing::CaptureWindow window;
  TPCMA engine(platform::Window{&loop, &window}, backend);
  window.Engine = &engine;
  engine.OutputDevice = platform::kWaveDefaultDevice;
  engine.InputDevice = platform::kWaveDefaultDevice;
  ASSERT_TRUE(engine.OpenOutput());
  ASSERT_TRUE(engine.OpenInput());
  engine.Play(testing::Signal(3 * 480));
  other.Stop();
  loop.RunFor(100ms);
  engine.Play(testing::Signal(4 * 480, 2));
  engine.CloseInput();
  engine.CloseOutput();
  loop.RunFor(50ms);
  EXPECT_FALSE(engine.OpenOutput());
  EXPECT_FALSE(engine.OpenInput());
  EXPECT_TRUE(backend.OutputDevices().empty());
}

}  // namespace
}  // namespace media
