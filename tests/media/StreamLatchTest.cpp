// The choice of the played stream among everything that reaches the media port.
#include "media/StreamLatch.h"

#include <gtest/gtest.h>

#include <random>

namespace media {
namespace {

using namespace std::chrono_literals;

constexpr std::uint64_t kFarEnd = 0xC6336414'1770;  // 198.51.100.20:6000
constexpr std::uint64_t kStranger = 0x0A0A0001'1F40;
constexpr std::uint32_t kSSRC = 0x1234;

class StreamLatchTest : public ::testing::Test {
 protected:
  bool Packet(std::uint64_t source, std::uint32_t ssrc, std::uint16_t sequence,
              std::chrono::milliseconds at) {
    return latch_.Accept(source, ssrc, sequence, start_ + at);
  }

  TStreamLatch latch_;
  const TStreamLatch::Clock::time_point start_ = TStreamLatch::Clock::now();
};

TEST_F(StreamLatchTest, TheFirstStreamIsPlayedFromItsFirstPacketWhateverItsSequence) {
  EXPECT_TRUE(Packet(kFarEnd, kSSRC, 900, 0ms));
  EXPECT_TRUE(Packet(kFarEnd, kSSRC, 5, 30ms));  // lost, reordered or restarted: still ours
  EXPECT_TRUE(Packet(kFarEnd, kSSRC, 5, 2000ms));
}

TEST_F(StreamLatchTest, NoOtherStreamIsPlayedWhileThePlayedOneIsHeard) {
  ASSERT_TRUE(Packet(kFarEnd, kSSRC, 1, 0ms));
  for (std::uint16_t n = 0; n < 20; ++n) {
    const auto at = std::chrono::milliseconds(10 + 30 * n);
    EXPECT_FALSE(Packet(kStranger, 77, n, at)) << n;             // in sequence, but not ours
    EXPECT_FALSE(Packet(kFarEnd, kSSRC + 1, n, at + 1ms)) << n;  // our source, another SSRC
    EXPECT_FALSE(Packet(kFarEnd + 1, kSSRC, n, at + 2ms)) << n;  // our SSRC, another port
    EXPECT_TRUE(Packet(kFarEnd, kSSRC, static_cast<std::uint16_t>(2 + n), at + 20ms)) << n;
  }
}

TEST_F(StreamLatchTest, AfterTheQuietTimeTwoPacketsInSequenceTakeOver) {
  ASSERT_TRUE(Packet(kFarEnd, kSSRC, 1, 0ms));
  // A far end that changed its SSRC: refused while the old one may still be heard...
  EXPECT_FALSE(Packet(kFarEnd, 99, 65535, 290ms));
  // ...then its first packet after the quiet time only marks it, the next one in sequence
  // (across the wrap) makes it the played stream, and the old one is now the stranger.
  EXPECT_FALSE(Packet(kFarEnd, 99, 65535, 310ms));
  EXPECT_TRUE(Packet(kFarEnd, 99, 0, 340ms));
  EXPECT_TRUE(Packet(kFarEnd, 99, 1, 370ms));
  EXPECT_FALSE(Packet(kFarEnd, kSSRC, 2, 380ms));
}

TEST_F(StreamLatchTest, ANewcomerMarkedBeforeThePlayedStreamSpokeAgainStartsOver) {
  ASSERT_TRUE(Packet(kFarEnd, kSSRC, 1, 0ms));
  EXPECT_FALSE(Packet(kStranger, 5, 100, 400ms));  // marked during a quiet spell
  ASSERT_TRUE(Packet(kFarEnd, kSSRC, 2, 410ms));   // the far end speaks again
  EXPECT_FALSE(Packet(kStranger, 5, 101, 800ms));  // next spell: marked afresh, not taken
  EXPECT_TRUE(Packet(kStranger, 5, 102, 830ms));
}

TEST_F(StreamLatchTest, RandomDatagramsNeverTakeOverAndTheRealStreamStillDoes) {
  // A flood of random packets first: the first one is played (nothing else is known yet),
  // then none of the others, since no two of them follow each other.
  std::mt19937 twister(7);
  auto random = [&] { return static_cast<std::uint32_t>(twister()); };
  int played = 0;
  for (int i = 0; i < 5000; ++i) {
    played += Packet(random(), random(), static_cast<std::uint16_t>(random()),
                     std::chrono::milliseconds(i / 10))
                  ? 1
                  : 0;
  }
  EXPECT_EQ(played, 1);
  // The far end, amid the flood, takes over with two packets in a row and keeps the floor.
  const auto t = 500ms;
  EXPECT_FALSE(Packet(kFarEnd, kSSRC, 10, t));
  EXPECT_FALSE(Packet(random(), random(), 11, t + 1ms));  // junk between: the pair is broken
  EXPECT_FALSE(Packet(kFarEnd, kSSRC, 11, t + 30ms));
  EXPECT_TRUE(Packet(kFarEnd, kSSRC, 12, t + 60ms));
  for (int i = 0; i < 100; ++i) {
    EXPECT_FALSE(Packet(random(), random(), static_cast<std::uint16_t>(random()),
                        t + 61ms + std::chrono::milliseconds(i)));
  }
  EXPECT_TRUE(Packet(kFarEnd, kSSRC, 13, t + 90ms));
}

}  // namespace
}  // namespace media
