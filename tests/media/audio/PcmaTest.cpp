// The audio engine over the in-process wave backend: the call's life cycle, the playback
// buffers and what waits for them, capture and sending, and a whole call between two engines
// over loopback RTP.
#include "media/Pcma.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "../MediaPeers.h"
#include "AudioTestSupport.h"
#include "media/DTMF.h"
#include "media/G711.h"
#include "media/RtpHeader.h"
#include "platform/EventLoopHandOff.h"
#include "platform/TestWave.h"

namespace media {
namespace {

using namespace std::chrono_literals;
using platform::TestWaveBackend;
using testing::CaptureWindow;
using testing::Eventually;
using testing::FreePortPair;
using testing::PortPeer;
using testing::Signal;

std::string RtpPacket(std::uint16_t sequence, const std::string& payload,
                      std::uint8_t payloadType = kPayloadTypePCMA) {
  TRTPHeader header;
  header.Version = kRtpVersion;
  header.PayloadType = payloadType;
  header.SequenceNumber = sequence;
  header.SSRC = 0x1234;
  return EncodeHeader(header) + payload;
}

// What a payload sounds like after the trip through A-law.
std::string Quantised(const std::string& linear) {
  return ALawDecode(ALawEncode(linear));
}

// One engine on the test backend, linked to endpoints aimed at a loopback peer.
class PcmaTest : public ::testing::Test {
 protected:
  PcmaTest()
      : rtp_(FreePortPair()),
        rtcp_(rtp_),
        peer_(FreePortPair()),
        engine_(std::make_unique<TPCMA>(platform::Window{&loop_, &window_}, wave_)) {
    window_.Engine = engine_.get();
    engine_->OutputDevice = 0;
    engine_->InputDevice = 0;
    rtcp_.SetRemote("127.0.0.1", peer_.Port());
  }

  ~PcmaTest() override {
    engine_.reset();
    window_.Engine = nullptr;
  }

  void StartCall() {
    engine_->Start(&rtcp_);
    ASSERT_TRUE(Eventually([&] { return PlaybackOpen(); }));
  }

  bool PlaybackOpen() {
    std::lock_guard lock(engine_->OutputLock);
    return engine_->WaveOut != platform::kNoWaveHandle;
  }

  std::size_t Pending() {
    std::lock_guard lock(engine_->OutputLock);
    return engine_->PendingOutput.size();
  }

  void SendToEngine(std::uint16_t sequence, const std::string& payload) {
    peer_.SendTo(rtp_.LocalPort, RtpPacket(sequence, payload));
  }

  // The payload of the next RTP packet the peer gets, checked to be payload type 8.
  std::optional<std::string> ReceivedPayload(std::chrono::milliseconds timeout = 2000ms) {
    const std::optional<std::string> datagram = peer_.Receive(timeout);
    if (!datagram) return std::nullopt;
    EXPECT_EQ(DecodeHeader(*datagram).PayloadType, kPayloadTypePCMA);
    return datagram->substr(kRtpHeaderSize);
  }

  // Delivers capture notifications until the peer has a packet, or 2 s pass.
  std::optional<std::string> DeliverAndReceive() {
    std::optional<std::string> payload;
    loop_.RunUntil(
        [&] {
          payload = ReceivedPayload(1ms);
          return payload.has_value();
        },
        2000ms);
    return payload;
  }

  platform::EventLoopHandOff loop_;
  CaptureWindow window_;
  TestWaveBackend wave_;
  TRTPClient rtp_;
  TRTCPClient rtcp_;
  PortPeer peer_;
  std::unique_ptr<TPCMA> engine_;
};

// --- Life cycle -------------------------------------------------------------------------------

TEST_F(PcmaTest, StopWhenIdleAndDestroyOfANeverStartedEngineTouchNoDevice) {
  engine_->Stop();
  engine_.reset();
  window_.Engine = nullptr;
  EXPECT_EQ(wave_.DeviceCalls(), 0u);
}

TEST_F(PcmaTest, CreateOpensNothingAndChoosesNoDevice) {
  TPCMA fresh(platform::Window{&loop_, &window_}, wave_);
  EXPECT_EQ(fresh.OutputDevice, kNoDeviceChosen);
  EXPECT_EQ(fresh.InputDevice, kNoDeviceChosen);
  EXPECT_EQ(fresh.WaveOut, platform::kNoWaveHandle);
  EXPECT_EQ(fresh.WaveIn, platform::kNoWaveHandle);
  for (const auto& header : fresh.OutputBuffers) {
    EXPECT_NE(header.Data, nullptr);
    EXPECT_EQ(header.BufferLength, 480u);
  }
  for (const auto& header : fresh.InputBuffers)
    EXPECT_EQ(header.BufferLength, 480u);
  EXPECT_EQ(wave_.DeviceCalls(), 0u);
}

TEST_F(PcmaTest, StartOpensBothDevicesAndStopClosesThemWithTheThreadEnded) {
  StartCall();
  EXPECT_TRUE(wave_.InputOpen());
  EXPECT_EQ(wave_.QueuedInputBlocks(), 3u);
  engine_->Stop();
  EXPECT_FALSE(engine_->Thread.joinable());
  EXPECT_FALSE(wave_.OutputOpen());
  EXPECT_FALSE(wave_.InputOpen());
  // The thread was ended, not killed: the playback lock is free.
  ASSERT_TRUE(engine_->OutputLock.try_lock());
  engine_->OutputLock.unlock();
  // Stop on a stopped engine does nothing.
  const std::size_t calls = wave_.DeviceCalls();
  engine_->Stop();
  EXPECT_EQ(wave_.DeviceCalls(), calls);
}

TEST_F(PcmaTest, StopWakesAPlaybackThreadBlockedInItsReceive) {
  StartCall();
  // Nothing is sent to the engine: its playback thread waits in the socket receive.
  const auto before = std::chrono::steady_clock::now();
  engine_->Stop();
  const auto took = std::chrono::steady_clock::now() - before;
  EXPECT_FALSE(engine_->Thread.joinable());
  EXPECT_FALSE(wave_.OutputOpen());
  // Not a speed goal: only that Stop did not hang on the blocked receive.
  EXPECT_LT(took, 2s);
}

TEST_F(PcmaTest, StartWhileRunningRestartsWithTheFirstBufferAndNoneInUse) {
  StartCall();
  SendToEngine(1, std::string(240, '\x55'));
  SendToEngine(2, std::string(240, '\x55'));
  ASSERT_TRUE(Eventually([&] { return wave_.QueuedOutputBlocks() == 2; }));
  {
    std::lock_guard lock(engine_->OutputLock);
    EXPECT_EQ(engine_->NextOutput, 2);
  }
  const std::optional<std::string> opened = wave_.LastOutputOpened();
  engine_->Start(&rtcp_);
  ASSERT_TRUE(Eventually([&] { return PlaybackOpen(); }));
  std::lock_guard lock(engine_->OutputLock);
  EXPECT_EQ(engine_->NextOutput, 0);
  for (const auto& header : engine_->OutputBuffers)
    EXPECT_EQ(header.User, 0u);
  EXPECT_TRUE(engine_->PendingOutput.empty());
  EXPECT_EQ(wave_.QueuedOutputBlocks(), 0u);
  EXPECT_EQ(wave_.LastOutputOpened(), opened);
}

TEST_F(PcmaTest, ARestartedEngineStillReceivesOnTheSameSocket) {
  StartCall();
  engine_->Start(&rtcp_);  // no SetRemote in between: the socket the last Stop woke stays
  ASSERT_TRUE(Eventually([&] { return PlaybackOpen(); }));
  SendToEngine(1, std::string(240, '\x55'));
  EXPECT_TRUE(Eventually([&] { return wave_.QueuedOutputBlocks() == 1; }));
}

TEST_F(PcmaTest, APlaybackDeviceThatCannotBeOpenedEndsTheThreadQuietly) {
  engine_->OutputDevice = kNoDeviceChosen;
  engine_->Start(&rtcp_);
  EXPECT_TRUE(wave_.InputOpen());
  ASSERT_TRUE(Eventually([&] { return wave_.DeviceCalls() >= 1 && !wave_.OutputOpen(); }));
  engine_->Stop();
  EXPECT_FALSE(engine_->Thread.joinable());
  EXPECT_FALSE(wave_.InputOpen());
}

TEST_F(PcmaTest, ADeviceNumberIsAPositionInTheListAndMinusOneTheDefault) {
  wave_.AddOutputDevice("Second speaker");
  wave_.AddInputDevice("Second microphone");
  engine_->OutputDevice = 1;
  engine_->InputDevice = 1;
  StartCall();
  EXPECT_EQ(wave_.LastOutputOpened(), "Second speaker");
  EXPECT_EQ(wave_.LastInputOpened(), "Second microphone");
  wave_.SetDefaults("Second speaker", "Test microphone");
  engine_->OutputDevice = platform::kWaveDefaultDevice;
  engine_->InputDevice = platform::kWaveDefaultDevice;
  StartCall();
  EXPECT_EQ(wave_.LastOutputOpened(), "Second speaker");
  EXPECT_EQ(wave_.LastInputOpened(), "Test microphone");
  // A device that went away cannot be opened: the call goes on without it.
  wave_.RemoveInputDevice("Second microphone");
  engine_->InputDevice = 1;
  EXPECT_FALSE(engine_->OpenInput());
  EXPECT_FALSE(wave_.InputOpen());
}

// --- Playback ---------------------------------------------------------------------------------

TEST_F(PcmaTest, TwentyMillisecondPayloadsLeave320Then160BytesPending) {
  StartCall();
  SendToEngine(1, ALawEncode(Signal(320, 1)));
  ASSERT_TRUE(Eventually([&] { return Pending() == 320; }));
  EXPECT_EQ(wave_.QueuedOutputBlocks(), 0u);
  SendToEngine(2, ALawEncode(Signal(320, 2)));
  ASSERT_TRUE(Eventually([&] { return Pending() == 160; }));
  EXPECT_EQ(wave_.QueuedOutputBlocks(), 1u);
  wave_.Advance(30ms);
  EXPECT_EQ(wave_.TakePlayed(),
            (Quantised(Signal(320, 1)) + Quantised(Signal(320, 2))).substr(0, 480));
}

TEST_F(PcmaTest, AHundredBytePayloadPlaysNothing) {
  StartCall();
  SendToEngine(1, std::string(100, '\x2A'));
  SendToEngine(2, ALawEncode(Signal(480, 3)));
  ASSERT_TRUE(Eventually([&] { return wave_.QueuedOutputBlocks() == 1; }));
  EXPECT_EQ(Pending(), 0u);
  wave_.Advance(30ms);
  EXPECT_EQ(wave_.TakePlayed(), Quantised(Signal(480, 3)));
}

TEST_F(PcmaTest, WithAllThreeBuffersPlayingNewAudioWaitsForALaterArrival) {
  ASSERT_TRUE(engine_->OpenOutput());
  const std::string audio = Signal(5 * 480, 4);
  engine_->Play(audio.substr(0, 3 * 480));
  EXPECT_EQ(wave_.QueuedOutputBlocks(), 3u);
  engine_->Play(audio.substr(3 * 480, 480));
  EXPECT_EQ(engine_->PendingOutput.size(), 480u);
  // The device finishes a block but says nothing: the audio stays pending.
  wave_.Advance(30ms);
  EXPECT_EQ(wave_.QueuedOutputBlocks(), 2u);
  EXPECT_EQ(engine_->PendingOutput.size(), 480u);
  // The next arrival writes it into the block that is done.
  engine_->Play(audio.substr(4 * 480, 160));
  EXPECT_EQ(wave_.QueuedOutputBlocks(), 3u);
  EXPECT_EQ(engine_->PendingOutput.size(), 160u);
  EXPECT_EQ(engine_->NextOutput, 1);
  wave_.Advance(90ms);
  EXPECT_EQ(wave_.TakePlayed(), audio.substr(0, 4 * 480));
}

TEST_F(PcmaTest, OpenOutputDropsAudioLeftFromThePreviousCall) {
  ASSERT_TRUE(engine_->OpenOutput());
  engine_->Play(Signal(4 * 480 + 100, 5));
  EXPECT_EQ(engine_->PendingOutput.size(), 580u);
  ASSERT_TRUE(engine_->OpenOutput());
  EXPECT_TRUE(engine_->PendingOutput.empty());
  EXPECT_EQ(engine_->NextOutput, 0);
  for (const auto& header : engine_->OutputBuffers)
    EXPECT_EQ(header.User, 0u);
  const std::string fresh = Signal(480, 6);
  engine_->Play(fresh);
  wave_.Advance(30ms);
  EXPECT_EQ(wave_.TakePlayed(), fresh);
}

TEST_F(PcmaTest, AtMost200MillisecondsWaitAndTheOldestAudioGoesFirst) {
  ASSERT_TRUE(engine_->OpenOutput());
  const std::string audio = Signal(3 * 480 + 4000, 7);
  engine_->Play(audio);
  EXPECT_EQ(engine_->PendingOutput.size(), kMaxPendingOutput);
  EXPECT_EQ(engine_->PendingOutput, audio.substr(audio.size() - kMaxPendingOutput));
  // Once the device frees its blocks, playback goes on with the newest audio kept.
  wave_.Advance(90ms);
  engine_->Play({});
  wave_.Advance(90ms);
  EXPECT_EQ(wave_.TakePlayed(),
            audio.substr(0, 3 * 480) + audio.substr(audio.size() - kMaxPendingOutput, 3 * 480));
}

TEST_F(PcmaTest, PlayWithoutAnOpenDeviceDropsTheAudio) {
  engine_->Play(Signal(960));
  EXPECT_TRUE(engine_->PendingOutput.empty());
  ASSERT_TRUE(engine_->OpenOutput());
  EXPECT_TRUE(engine_->PendingOutput.empty());
  engine_->CloseOutput();
  engine_->Play(Signal(960));
  EXPECT_TRUE(engine_->PendingOutput.empty());
}

// --- Capture and sending ----------------------------------------------------------------------

TEST_F(PcmaTest, InputDoneSendsAFullFrameAndGivesItsHeaderBack) {
  StartCall();
  const std::string frame = Signal(480, 8);
  wave_.Feed(frame);
  wave_.Advance(30ms);
  const std::optional<std::string> payload = DeliverAndReceive();
  ASSERT_TRUE(payload);
  EXPECT_EQ(*payload, ALawEncode(frame));
  EXPECT_EQ(window_.Notifications, 1);
  EXPECT_EQ(wave_.QueuedInputBlocks(), 3u);
}

TEST_F(PcmaTest, AShortCaptureBlockSendsNothingAndIsStillGivenBack) {
  StartCall();
  wave_.Feed(Signal(480, 9));
  ASSERT_TRUE(wave_.CompleteShortCapture(200));
  EXPECT_EQ(wave_.QueuedInputBlocks(), 2u);
  loop_.RunUntil([&] { return window_.Notifications == 1; }, 2000ms);
  EXPECT_EQ(window_.Notifications, 1);
  EXPECT_EQ(wave_.QueuedInputBlocks(), 3u);
  EXPECT_FALSE(peer_.Receive(100ms));
}

TEST_F(PcmaTest, ACaptureBlockThatComesBackAfterCloseInputIsNeverSent) {
  StartCall();
  wave_.Feed(Signal(480, 10));
  // A full block is notified, but the call ends before the window handles it.
  wave_.Advance(30ms);
  engine_->Stop();
  const int delivered = loop_.RunFor(100ms);
  EXPECT_EQ(delivered, 3);  // the full block and the two that the reset handed back
  EXPECT_EQ(window_.Notifications, 3);
  EXPECT_FALSE(peer_.Receive(100ms));
}

TEST_F(PcmaTest, SendAudioWithoutALinkedEndpointSendsNothing) {
  engine_->SendAudio(std::string(240, '\x55'));
  engine_->SendDigit(5);
  EXPECT_FALSE(peer_.Receive(100ms));
}

TEST_F(PcmaTest, SendAudioCutsLongAudioIntoPacketsOf480Bytes) {
  StartCall();
  const std::string alaw = ALawEncode(Signal(2 * 1040, 11));
  ASSERT_EQ(alaw.size(), 1040u);
  engine_->SendAudio(alaw);
  EXPECT_EQ(ReceivedPayload(), alaw.substr(0, 480));
  EXPECT_EQ(ReceivedPayload(), alaw.substr(480, 480));
  EXPECT_EQ(ReceivedPayload(), alaw.substr(960));
  engine_->SendAudio({});
  EXPECT_FALSE(peer_.Receive(100ms));
}

TEST_F(PcmaTest, ADtmfKeyWhilePlaybackIsClosedIsSentButNotHeard) {
  engine_->OutputDevice = kNoDeviceChosen;
  engine_->Start(&rtcp_);
  ASSERT_TRUE(Eventually([&] { return wave_.DeviceCalls() >= 1 && !wave_.OutputOpen(); }));
  engine_->SendDigit(5);
  const std::optional<std::string> payload = ReceivedPayload();
  ASSERT_TRUE(payload);
  EXPECT_EQ(*payload, ALawEncode(DTMFTone(5, 480)));
  EXPECT_EQ(wave_.QueuedOutputBlocks(), 0u);
  wave_.Advance(30ms);
  EXPECT_TRUE(wave_.Played().empty());
}

TEST_F(PcmaTest, ADtmfKeyDuringACallIsSentAndHeard) {
  StartCall();
  engine_->SendDigit(11);
  const std::optional<std::string> payload = ReceivedPayload();
  ASSERT_TRUE(payload);
  EXPECT_EQ(*payload, ALawEncode(DTMFTone(11, 480)));
  wave_.Advance(30ms);
  EXPECT_EQ(wave_.TakePlayed(), DTMFTone(11, 480));
}

// --- A whole call ------------------------------------------------------------------------------

// Two engines, each with its own devices and endpoints, aimed at each other on loopback.
class PcmaCallTest : public ::testing::Test {
 protected:
  struct Side {
    explicit Side(platform::EventLoopHandOff& loop)
        : rtp(FreePortPair()), rtcp(rtp), engine(platform::Window{&loop, &window}, wave) {
      window.Engine = &engine;
      engine.OutputDevice = platform::kWaveDefaultDevice;
      engine.InputDevice = platform::kWaveDefaultDevice;
    }
    CaptureWindow window;
    TestWaveBackend wave;
    TRTPClient rtp;
    TRTCPClient rtcp;
    TPCMA engine;
  };

  platform::EventLoopHandOff loop_;
  Side caller_{loop_};
  Side callee_{loop_};
};

TEST_F(PcmaCallTest, SpeechCapturedOnOneSideIsPlayedOnTheOtherBitExactInOrder) {
  caller_.rtcp.SetRemote("127.0.0.1", callee_.rtp.LocalPort);
  callee_.rtcp.SetRemote("127.0.0.1", caller_.rtp.LocalPort);
  callee_.engine.Start(&callee_.rtcp);
  caller_.engine.Start(&caller_.rtcp);
  callee_.rtcp.Start();
  caller_.rtcp.Start();
  ASSERT_TRUE(Eventually([&] { return callee_.wave.OutputOpen(); }));

  constexpr int kFrames = 20;
  const std::string speech = Signal(kFrames * 480, 12);
  caller_.wave.Feed(speech);
  for (int frame = 0; frame < kFrames; ++frame) {
    SCOPED_TRACE(frame);
    caller_.wave.Advance(30ms);
    // The window handles the capture notification; the callee's thread receives and plays.
    ASSERT_TRUE(loop_.RunUntil([&] { return callee_.wave.QueuedOutputBlocks() == 1; }, 2000ms));
    callee_.wave.Advance(30ms);
  }
  caller_.rtcp.Stop();
  caller_.engine.Stop();
  callee_.rtcp.Stop();
  callee_.engine.Stop();
  loop_.RunFor(20ms);
  EXPECT_EQ(callee_.wave.Played(), Quantised(speech));
  EXPECT_EQ(caller_.rtcp.RTPClient->Sequence, 1u + kFrames);
}

}  // namespace
}  // namespace media
