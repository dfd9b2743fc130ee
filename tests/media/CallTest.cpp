// RTP and RTCP: what is accepted and which stream is played; the endpoints on loopback against
// tshark; the audio engine on the in-process wave backend with real endpoints.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "media/DTMF.h"
#include "media/G711.h"
#include "media/PCMA.h"
#include "platform/TickCount.h"
#include "support/Command.h"
#include "support/EventLoopHandOff.h"
#include "support/LoopbackPeer.h"
#include "support/TestWave.h"

namespace media {
namespace {

using namespace std::chrono_literals;
using testsupport::Eventually;
using testsupport::LoopbackPeer;
constexpr auto kBlock = testsupport::TestWaveBackend::kBlockTime;
constexpr std::size_t kFrame = platform::kFrameBytes;
const std::pair<std::size_t, std::size_t> kBoth{1, 1}, kCaptureOnly{0, 1}, kNone{0, 0};

// How often this process's thread named `name` (as ps and top show it) gave the processor up,
// by the kernel's count; none without such a thread.
std::optional<long> Pauses(const std::string& name) {
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::string comm, field;
    if (!std::getline(std::ifstream(task.path() / "comm"), comm) || comm != name) continue;
    std::ifstream status(task.path() / "status");
    for (long count = 0; status >> field;)
      if (field == "voluntary_ctxt_switches:" && status >> count) return count;
  }
  return std::nullopt;
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}

std::string Fields(const TRTPHeader& h) {
  char text[80];
  std::snprintf(text, sizeof text, "%d|%d|%d|%d|%d|%d|%u|0x%08x", h.Version, h.Padding, h.Extension,
                h.CSRCCount, h.Marker, h.PayloadType, h.SequenceNumber, h.SSRC);
  return text;
}

std::string Rtp(std::uint16_t sequence, const std::string& payload) {
  return EncodeHeader({.Version = 2, .PayloadType = 8, .SequenceNumber = sequence}) + payload;
}

// `bytes` of 16-bit audio that differ from sample to sample, starting at `from`.
std::string Audio(std::size_t bytes, int from = 0) {
  std::string audio;
  for (int n = from; audio.size() < bytes; ++n) {
    const int sample = n * 89 % 60000 - 30000;
    audio += {static_cast<char>(sample & 0xFF), static_cast<char>(sample >> 8)};
  }
  audio.resize(bytes);
  return audio;
}

TEST(RtpTest, AcceptedPayloadIsWhatFollowsTheFixedHeaderOfAudio) {
  const auto packet = [](std::uint8_t version, std::uint8_t type, const std::string& payload) {
    return EncodeHeader({version, false, true, 3, true, type}) + payload;  // flags do not matter
  };
  const std::pair<std::string, std::string> cases[] = {
      {packet(2, 8, "audio"), "audio"}, {packet(2, 8, "").substr(0, 11), ""},
      {packet(2, 8, ""), ""},           {packet(1, 8, "audio"), ""},
      {packet(2, 0, "audio"), ""},      {BuildBye(7), ""},
  };
  for (const auto& [datagram, payload] : cases) {
    SCOPED_TRACE(testing::PrintToString(datagram));
    EXPECT_EQ(AcceptedPayload(datagram, kPayloadTypePCMA), payload);
  }
}

TEST(StreamLatchTest, HandsOverOnlyAfterQuietToTwoPacketsInSequence) {
  using Packet = std::tuple<std::uint64_t, std::uint32_t, std::uint16_t, int, bool>;
  const int q = static_cast<int>(kStreamQuiet.count());
  // clang-format off
  const std::vector<std::pair<const char*, std::vector<Packet>>> cases = {
      {"others ignored while the first is heard",
       {{1, 10, 7, 0, true}, {2, 10, 8, 10, false}, {2, 10, 9, 11, false}, {1, 11, 8, 20, false},
        {1, 11, 9, 21, false}, {1, 10, 8, q - 1, true}, {2, 10, 1, 2 * q - 2, false},
        {2, 10, 2, 2 * q - 2, false}}},
      {"takeover across the wrap", {{1, 10, 7, 0, true}, {2, 20, 65535, q, false},
        {2, 20, 0, q + 1, true}, {1, 10, 8, q + 2, false}, {2, 20, 1, q + 3, true}}},
      {"a gap restarts the newcomer", {{1, 10, 7, 0, true}, {2, 20, 5, q, false},
        {2, 20, 7, q + 1, false}, {2, 20, 8, q + 2, true}}},
      {"source and SSRC must both follow", {{1, 10, 7, 0, true}, {2, 20, 5, q, false},
        {3, 20, 6, q + 1, false}, {3, 21, 7, q + 2, false}, {3, 21, 8, q + 3, true}}},
      {"the played stream speaking again resets the newcomer", {{1, 10, 7, 0, true},
        {2, 20, 5, q, false}, {1, 10, 8, q + 1, true}, {2, 20, 6, 2 * q + 1, false},
        {2, 20, 7, 2 * q + 2, true}}},
  };
  // clang-format on
  const TStreamLatch::Clock::time_point start{};
  for (const auto& [name, packets] : cases) {
    TStreamLatch latch;
    for (const auto& [source, ssrc, sequence, ms, accepted] : packets) {
      SCOPED_TRACE(testing::Message() << name << ", packet " << sequence << " at " << ms);
      EXPECT_EQ(latch.Accept(source, ssrc, sequence, start + std::chrono::milliseconds(ms)),
                accepted);
    }
  }
}

class EndpointTest : public ::testing::Test {
 protected:
  EndpointTest() { rtcp_.SetRemote("127.0.0.1", farPort_); }

  const std::uint16_t farPort_ = testsupport::FreePortPair();
  const LoopbackPeer far_{farPort_}, farRtcp_{static_cast<std::uint16_t>(farPort_ + 1)};
  TRTPClient rtp_{testsupport::FreePortPair()};
  TRTCPClient rtcp_{rtp_};
};

TEST_F(EndpointTest, TsharkReadsOurRtpAsWeDoAndTheSequenceRestartsPerCall) {
  const std::string payload = Audio(240);
  const std::uint32_t before = platform::GetTickCount();
  rtcp_.Start();
  rtp_.Send(kPayloadTypePCMA, payload);
  rtcp_.SetRemote("127.0.0.1", farPort_);  // the next call
  rtp_.Send(kPayloadTypePCMA, payload);
  const std::uint32_t after = platform::GetTickCount();
  std::vector<std::string> sent;
  while (const auto datagram = far_.Receive(sent.size() < 3 ? 2s : 100ms))
    sent.push_back(*datagram);
  const auto lines = testsupport::DecodeWithTshark(
      sent, rtp_.LocalPort(), farPort_,
      "-e rtp.version -e rtp.padding -e rtp.ext -e rtp.cc -e rtp.marker -e rtp.p_type -e rtp.seq "
      "-e rtp.ssrc -e rtp.timestamp -e rtp.payload",
      "-d udp.port==" + std::to_string(farPort_) + ",rtp");
  ASSERT_EQ(lines.size(), 3u);
  std::string hex;
  for (const char c : payload)
    hex += Hex(static_cast<unsigned char>(c)).substr(8);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    const TRTPHeader header = DecodeHeader(sent[i]);
    EXPECT_EQ(Fields(header), std::string("2|0|0|0|0|8|") + "010"[i] + "|" + Hex(rtp_.SSRC()));
    EXPECT_TRUE(header.Timestamp >= before && header.Timestamp <= after);
    EXPECT_EQ(lines[i],
              Fields(header) + "|" + std::to_string(header.Timestamp) + "|" + (i == 0 ? "" : hex));
  }
}

TEST_F(EndpointTest, ByeDecodesInTsharkAndRepeatsOnlyWhileRtpArrives) {
  EXPECT_THROW(LoopbackPeer(static_cast<std::uint16_t>(rtp_.LocalPort() + 1)), std::runtime_error);
  for (const bool talking : {false, true}) {
    SCOPED_TRACE(talking ? "far end talking" : "far end silent");
    std::atomic<bool> done = false;
    std::atomic<int> heard = 0;
    rtp_.ResumeReceive();
    std::jthread receiver([&] {
      TStreamLatch latch;
      while (!done)
        if (const auto payload = rtcp_.Receive(kPayloadTypePCMA, latch);
            payload && !payload->empty())
          ++heard;
    });
    // The far end's RTP comes in every wait (the window's event loop times them), or never.
    std::uint16_t sequence = 0;
    const auto aWait = [&] {
      if (!talking) return;
      far_.SendTo(rtp_.LocalPort(), Rtp(sequence++, "a"));
      ASSERT_TRUE(Eventually([&] { return heard == sequence; }));
    };
    aWait();
    rtcp_.SendBye();
    do
      aWait();
    while (rtcp_.ByeAgain());
    done = true;
    rtp_.InterruptReceive();
    receiver.join();
    std::vector<std::string> byes;
    while (const auto datagram = farRtcp_.Receive(100ms))
      byes.push_back(*datagram);
    const auto lines = testsupport::DecodeWithTshark(
        byes, static_cast<std::uint16_t>(rtp_.LocalPort() + 1), farPort_ + 1,
        "-e rtcp.version -e rtcp.pt -e rtcp.ssrc.identifier -e rtcp.sdes.text -e rtcp.length_check "
        "-e udp.length",
        "-d udp.port==" + std::to_string(farPort_ + 1) + ",rtcp");
    EXPECT_EQ(lines, std::vector<std::string>(talking ? kMaxByeSends : 1,
                                              "2|203|" + Hex(rtp_.SSRC()) + "|BYE|1|20"));  // alone
  }
}

// The window hears each capture block the engine dealt with.
class PcmaTest : public EndpointTest, public platform::MessageTarget {
 protected:
  PcmaTest() {
    engine_.SetOutputDevice(platform::kWaveDefaultDevice);
    engine_.SetInputDevice(platform::kWaveDefaultDevice);
  }
  void HandleWindowMessage(const platform::WindowMessage& message) override {
    ASSERT_EQ(message.Message, platform::MessageNumber::CapturedSamples);
    ++blocks_;
  }

  // A call whose devices have opened (on its thread).
  void StartCall() {
    engine_.Start(&rtcp_);
    ASSERT_TRUE(Eventually([&] { return wave_.OpenDevices() == kBoth; }));
  }

  // What the device plays while its clock runs, until `bytes` have come (at most 5 s).
  std::string Played(std::size_t bytes) {
    std::string played;
    Eventually([&] {
      wave_.Advance(kBlock);
      played += wave_.TakePlayed();
      return played.size() >= bytes;
    });
    return played;
  }

  testsupport::EventLoopHandOff loop_;
  int blocks_ = 0;
  testsupport::TestWaveBackend wave_;
  TPCMA engine_{platform::Window{&loop_, this}, wave_};
};

TEST_F(PcmaTest, CapturedBlocksLeaveAsRtpWhileReceivedRtpIsPlayed) {
  StartCall();
  const std::string spoken = Audio(4 * kFrame);
  wave_.Feed(spoken);
  wave_.Advance(3 * kBlock);  // each leaves as it fills
  wave_.Advance(kBlock);      // into a block given back to the device
  std::string alaw;
  for (std::uint16_t sequence = 0; sequence < 3; ++sequence) {
    const std::string payload = ALawEncode(Audio(kFrame, 1000 * (sequence + 1)));
    alaw += payload;
    far_.SendTo(rtp_.LocalPort(), Rtp(sequence, payload));
  }
  EXPECT_EQ(Played(alaw.size() * 2), ALawDecode(alaw));
  ASSERT_TRUE(loop_.RunUntil([&] { return blocks_ >= 4; }, 5s));
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const auto packet = far_.Receive();
    ASSERT_TRUE(packet);
    EXPECT_EQ(DecodeHeader(*packet).PayloadType, kPayloadTypePCMA);
    EXPECT_EQ(packet->substr(kRtpHeaderSize), ALawEncode(spoken.substr(kFrame * i, kFrame)));
  }
}

// At most 200 ms of audio (16 bytes a millisecond) waits for a free block; the oldest whole
// samples beyond it go.
TEST_F(PcmaTest, PlaybackKeepsOnlyTheNewest200MsPending) {
  StartCall();
  const std::string audio = Audio(3 * kFrame + 200 * 16 + 1001);
  engine_.Play(audio);
  wave_.Advance(3 * kBlock);
  EXPECT_EQ(wave_.TakePlayed(), audio.substr(0, 3 * kFrame));
  engine_.Play({});
  wave_.Advance(3 * kBlock);
  EXPECT_EQ(wave_.TakePlayed(), audio.substr(3 * kFrame + 1002, 3 * kFrame));  // 501 samples went
}

// One device outside a call (the latency benchmark's) opens and closes. A device that does not
// open is not reported and the call goes on; but without playback the call's thread ends at
// once, and nothing reads the endpoint. Outside a call an opening says whether it worked: not
// once sending ended (it was closed again), nor for a device that is not there.
TEST_F(PcmaTest, DevicesOutsideACallAndWithoutPlayback) {
  ASSERT_TRUE(engine_.OpenOutput());
  engine_.CloseOutput();
  EXPECT_EQ(wave_.OpenDevices(), kNone);
  engine_.SetOutputDevice(1);  // the backend has one speaker, number 0
  engine_.Start(&rtcp_);
  ASSERT_TRUE(Eventually([&] { return wave_.OpenDevices() == kCaptureOnly; }));
  EXPECT_TRUE(Eventually([] { return !Pauses("call audio"); })) << "the thread goes on";
  engine_.EndSending();
  EXPECT_FALSE(engine_.OpenInput());
  engine_.SetInputDevice(1);
  EXPECT_FALSE(engine_.OpenInput());
}

// A receive that returns at once (interrupted, or its socket closed) does not make the call's
// thread spin: it gives the processor up between tries.
TEST_F(PcmaTest, AReceiveThatReturnsAtOnceDoesNotSpin) {
  StartCall();
  const long before = Pauses("call audio").value();
  rtp_.InterruptReceive();
  EXPECT_TRUE(Eventually([&] { return Pauses("call audio").value_or(0) >= before + 50; }))
      << "the call's thread spins";
}

// A block leaves as it fills; the hang-up takes the others back, unsent, and the device closes
// at once. An audio
// server that does not answer while calls start and end holds neither the hang-up nor the next
// call; once it answers, the next call is heard, and the devices that the ended call's thread
// opened late are closed by it.
TEST_F(PcmaTest, NothingLeavesAfterTheHangUpAndAServerThatDoesNotAnswerHoldsNoCall) {
  engine_.Stop();  // nothing runs: nothing happens
  StartCall();
  wave_.Feed(Audio(kFrame));
  wave_.Advance(kBlock);
  const auto stopping = std::chrono::steady_clock::now();
  engine_.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, 1s);  // the device gave its blocks back
  EXPECT_EQ(wave_.OpenDevices(), kNone);                       // and none was queued again
  EXPECT_EQ(far_.Receive().value().substr(kRtpHeaderSize), ALawEncode(Audio(kFrame)));
  ASSERT_TRUE(loop_.RunUntil([&] { return blocks_ == 1; }, 5s));
  wave_.Stall();
  engine_.Start(&rtcp_);
  engine_.Stop();
  engine_.Start(&rtcp_);
  wave_.Release();
  EXPECT_FALSE(wave_.Expired());
  ASSERT_TRUE(Eventually([&] { return wave_.OpenDevices() == kBoth; }));
  const std::string payload = ALawEncode(Audio(kFrame));
  far_.SendTo(rtp_.LocalPort(), Rtp(0, payload));
  EXPECT_EQ(Played(2 * payload.size()), ALawDecode(payload));
  engine_.SendDigit(1);  // the next packet that leaves: nothing of the ended call's
  EXPECT_EQ(far_.Receive().value().substr(kRtpHeaderSize), ALawEncode(DTMFTone(1, kFrame)));
  engine_.Stop();
  EXPECT_TRUE(Eventually([&] { return wave_.OpenDevices() == kNone; }));
}

// An engine that ends while the server holds a call's thread in a device's opening waits for
// that thread, which closes what it opens late: a thread left running would end the program.
TEST_F(PcmaTest, AnEngineEndingWaitsForTheThreadTheServerHolds) {
  wave_.Stall(100ms);
  {
    TPCMA engine{platform::Window{&loop_, this}, wave_};
    engine.SetOutputDevice(platform::kWaveDefaultDevice);
    engine.SetInputDevice(platform::kWaveDefaultDevice);
    engine.Start(&rtcp_);
    engine.Stop();
  }
  EXPECT_TRUE(wave_.Expired());
  EXPECT_EQ(wave_.OpenDevices(), kNone);
}

// A key is one packet, also played here; longer audio goes in packets of 480 bytes. After the
// hang-up neither leaves for the last far end.
TEST_F(PcmaTest, AKeyIsOnePacketLongAudioIsSplitAndNeitherLeavesAfterTheHangUp) {
  StartCall();
  engine_.SendDigit(7);
  const std::string tone = DTMFTone(7, kFrame), alaw = Audio(1000);
  engine_.SendAudio(alaw);
  EXPECT_EQ(Played(tone.size()), tone);
  engine_.EndSending();  // the hang-up: the RTCP BYE follows
  engine_.SendDigit(5);
  engine_.SendAudio(alaw);
  engine_.Stop();
  engine_.SendDigit(5);
  StartCall();
  engine_.SendDigit(9);
  for (const std::string& part :
       {ALawEncode(tone), alaw.substr(0, kFrame), alaw.substr(kFrame, kFrame),
        alaw.substr(2 * kFrame), ALawEncode(DTMFTone(9, kFrame))}) {
    const auto packet = far_.Receive();
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->substr(kRtpHeaderSize), part);
  }
}

}  // namespace
}  // namespace media
