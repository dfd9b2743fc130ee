// The A-law codec on its own: the standard's edge values, the 10 ms unit rule, the byte
// layout, and every 16-bit sample against a plain transcription of the coding rules.
#include "media/G711.h"
#include "media/Samples.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace media {
namespace {

using testing::Linear;

std::int16_t SampleAt(const std::string& linear, std::size_t i) {
  return static_cast<std::int16_t>(
      static_cast<std::uint16_t>(static_cast<unsigned char>(linear[2 * i]) |
                                 (static_cast<unsigned char>(linear[2 * i + 1]) << 8)));
}

// The code of one sample, through ALawEncode on a whole unit of that sample.
std::uint8_t Encode(std::int16_t sample) {
  const std::string alaw = ALawEncode(Linear(std::vector<std::int16_t>(kSamplesPerUnit, sample)));
  EXPECT_EQ(alaw.size(), kSamplesPerUnit);
  return static_cast<std::uint8_t>(alaw.at(0));
}

// The coding rules written out step by step, with branches and a loop, as a second reading
// against the branch-free code.
std::uint8_t PlainEncode(int s) {
  int mask = 0xD5;
  int m = s;
  if (s < 0) {
    mask = 0x55;
    m = -s - 8;
    if (m < 0) m = 0;
  }
  int segment = 0;
  if (m >= 256) {
    int highest = 15;
    while ((m & (1 << highest)) == 0)
      --highest;
    segment = highest - 7;
  }
  const int mantissa = segment <= 1 ? (m >> 4) & 15 : (m >> (segment + 3)) & 15;
  return static_cast<std::uint8_t>(((segment << 4) | mantissa) ^ mask);
}

int PlainDecode(int c) {
  const int a = c ^ 0x55;
  int t = (a & 15) << 4;
  const int segment = (a >> 4) & 7;
  if (segment == 0) {
    t += 8;
  } else if (segment == 1) {
    t += 264;
  } else {
    t = (t + 264) << (segment - 1);
  }
  return (a & 0x80) != 0 ? t : -t;
}

TEST(G711EdgeTest, ZeroAndTheSmallestNegativeSamples) {
  EXPECT_EQ(Encode(0), 0xD5);
  EXPECT_EQ(ALawToLinear(0xD5), 8);
  for (int s = -23; s <= -1; ++s) {
    SCOPED_TRACE(s);
    EXPECT_EQ(Encode(static_cast<std::int16_t>(s)), 0x55);
  }
  EXPECT_EQ(ALawToLinear(0x55), -8);
  EXPECT_EQ(Encode(-24), 0x54);
  EXPECT_EQ(ALawToLinear(0x54), -24);
}

TEST(G711EdgeTest, FullScaleBothWays) {
  EXPECT_EQ(Encode(32767), 0xAA);
  EXPECT_EQ(ALawToLinear(0xAA), 32256);
  EXPECT_EQ(Encode(-32768), 0x2A);
  EXPECT_EQ(ALawToLinear(0x2A), -32256);
}

TEST(G711EdgeTest, SegmentZeroToOne) {
  EXPECT_EQ(Encode(255), 0xDA);  // segment 0, mantissa 15
  EXPECT_EQ(Encode(256), 0xC5);  // segment 1, mantissa 0
}

TEST(G711EdgeTest, EverySampleMatchesTheCodingRules) {
  std::vector<std::int16_t> all;
  for (int s = -32768; s <= 32767; ++s)
    all.push_back(static_cast<std::int16_t>(s));
  ASSERT_EQ(ALawEncode(Linear(all)), "") << "65536 samples are not whole 10 ms units";
  all.resize(65600, 0);  // 820 units
  const std::string codes = ALawEncode(Linear(all));
  ASSERT_EQ(codes.size(), all.size());
  int mismatches = 0;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (static_cast<std::uint8_t>(codes[i]) != PlainEncode(all[i])) {
      ADD_FAILURE() << "sample " << all[i] << " gives "
                    << static_cast<int>(static_cast<std::uint8_t>(codes[i]));
      if (++mismatches > 10) break;
    }
  }
}

TEST(G711EdgeTest, EveryCodeMatchesTheReconstructionRulesAndMirrors) {
  for (int c = 0; c < 256; ++c) {
    SCOPED_TRACE(c);
    const int value = ALawToLinear(static_cast<std::uint8_t>(c));
    EXPECT_EQ(value, PlainDecode(c));
    EXPECT_EQ(ALawToLinear(static_cast<std::uint8_t>(c ^ 0x80)), -value);
    EXPECT_LE(value, 32256);
    EXPECT_GE(value, -32256);
    // A decoded value codes back to its own code.
    EXPECT_EQ(Encode(static_cast<std::int16_t>(value)), c);
  }
}

TEST(G711EdgeTest, DecodeWritesEachSampleLowByteFirst) {
  std::string alaw;
  for (int i = 0; i < 160; ++i)
    alaw.push_back(static_cast<char>(i));  // two units, codes 0..159
  const std::string linear = ALawDecode(alaw);
  ASSERT_EQ(linear.size(), 320u);
  for (std::size_t i = 0; i < 160; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(SampleAt(linear, i), ALawToLinear(static_cast<std::uint8_t>(i)));
  }
  // 0xAA decodes to +32256 = 0x7E00: bytes 0x00 0x7E.
  const std::string full = ALawDecode(std::string(80, static_cast<char>(0xAA)));
  EXPECT_EQ(full.substr(0, 2), std::string("\x00\x7E", 2));
}

TEST(G711EdgeTest, EncodeReadsEachSampleLowByteFirst) {
  std::vector<std::int16_t> samples(160);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<std::int16_t>(static_cast<int>(i) * 409 - 32768);
  const std::string alaw = ALawEncode(Linear(samples));
  ASSERT_EQ(alaw.size(), 160u);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(static_cast<std::uint8_t>(alaw[i]), PlainEncode(samples[i]));
  }
}

TEST(G711LengthTest, EncodeTakesWholeTenMillisecondUnits) {
  EXPECT_EQ(ALawEncode(std::string(480, '\0')).size(), 240u);  // one 30 ms frame
  EXPECT_EQ(ALawEncode(std::string(160, '\0')).size(), 80u);
  EXPECT_EQ(ALawEncode(std::string(16000, '\0')).size(), 8000u);
  EXPECT_EQ(ALawEncode(std::string(159, '\0')), "");
  EXPECT_EQ(ALawEncode(std::string(481, '\0')), "");
  EXPECT_EQ(ALawEncode(std::string(240, '\0')), "");  // 15 ms
  EXPECT_EQ(ALawEncode(std::string(1, '\0')), "");
  EXPECT_EQ(ALawEncode(""), "");
}

TEST(G711LengthTest, DecodeTakesWholeTenMillisecondUnits) {
  EXPECT_EQ(ALawDecode(std::string(240, '\xD5')).size(), 480u);
  EXPECT_EQ(ALawDecode(std::string(160, '\xD5')).size(), 320u);  // 20 ms
  EXPECT_EQ(ALawDecode(std::string(80, '\xD5')).size(), 160u);
  EXPECT_EQ(ALawDecode(std::string(100, '\xD5')), "");
  EXPECT_EQ(ALawDecode(std::string(1, '\xD5')), "");
  EXPECT_EQ(ALawDecode(std::string(1488, '\xD5')), "");  // a full datagram's payload
  EXPECT_EQ(ALawDecode(""), "");
}

TEST(G711LengthTest, SilenceRoundTrip) {
  const std::string silence(480, '\0');
  const std::string alaw = ALawEncode(silence);
  EXPECT_EQ(alaw, std::string(240, '\xD5'));
  const std::string back = ALawDecode(alaw);
  ASSERT_EQ(back.size(), 480u);
  for (std::size_t i = 0; i < 240; ++i)
    ASSERT_EQ(SampleAt(back, i), 8);
}

}  // namespace
}  // namespace media
