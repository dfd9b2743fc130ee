// The A-law codec against independent implementations: spandsp's decoder and ITU reference
// encoder, and sox reading a raw A-law file.
#include <spandsp.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "media/G711.h"
#include "media/Samples.h"
#include "support/Command.h"

namespace media {
namespace {

using testing::Linear;

// Every 16-bit sample, padded with zeros to whole 10 ms units, and its codes.
struct AllSamples {
  AllSamples() {
    for (int s = -32768; s <= 32767; ++s)
      Samples.push_back(static_cast<std::int16_t>(s));
    Samples.resize(65600, 0);
    Codes = ALawEncode(Linear(Samples));
  }
  std::vector<std::int16_t> Samples;
  std::string Codes;
};

TEST(G711OracleTest, SpandspDecodesEveryCodeAlike) {
  for (int c = 0; c < 256; ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(ALawToLinear(static_cast<std::uint8_t>(c)),
              alaw_to_linear(static_cast<std::uint8_t>(c)));
  }
}

// spandsp's encoder is the ITU reference: for a negative sample s it codes the magnitude
// -s - 1. This system codes -s - 8, placing the decision levels of negative samples one
// 13-bit step (8) lower, and codes every s from -7 to -1 like -8 (0x55). So:
//   s >= 0:  ours(s) == reference(s)
//   s <= -8: ours(s) == reference(s + 7), since -(s + 7) - 1 == -s - 8
// From -7 to -1 the reference applied to s + 7 >= 0 would give the positive zero code 0xD5;
// ours gives 0x55 (checked by the edge tests).
TEST(G711OracleTest, SpandspReferenceEncoderAgreesUpToTheNegativeOffset) {
  const AllSamples all;
  ASSERT_EQ(all.Codes.size(), all.Samples.size());
  int mismatches = 0;
  for (int i = 0; i < 65536; ++i) {
    const int s = all.Samples[static_cast<std::size_t>(i)];
    if (s > -8 && s < 0) continue;
    const std::uint8_t expected = linear_to_alaw(s >= 0 ? s : s + 7);
    if (static_cast<std::uint8_t>(all.Codes[static_cast<std::size_t>(i)]) != expected) {
      ADD_FAILURE() << "sample " << s;
      if (++mismatches > 10) break;
    }
  }
}

// The relation above is not the identity: without the offset the two encoders disagree on
// negative samples, so the test above can tell the offset is there.
TEST(G711OracleTest, WithoutTheOffsetTheEncodersDisagreeOnNegativeSamples) {
  const AllSamples all;
  int differ = 0;
  for (int i = 0; i < 32768; ++i) {  // s from -32768 to -1
    const int s = all.Samples[static_cast<std::size_t>(i)];
    if (static_cast<std::uint8_t>(all.Codes[static_cast<std::size_t>(i)]) != linear_to_alaw(s))
      ++differ;
  }
  EXPECT_GT(differ, 0);
}

TEST(G711OracleTest, SpandspBufferCodecAgreesOnAFrame) {
  std::vector<std::int16_t> samples(240);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<std::int16_t>(static_cast<int>(i) * 271 - 32000);
  g711_state_t* decoder = g711_init(nullptr, G711_ALAW);
  ASSERT_NE(decoder, nullptr);
  const std::string alaw = ALawEncode(Linear(samples));
  ASSERT_EQ(alaw.size(), 240u);
  std::vector<std::int16_t> decoded(240);
  ASSERT_EQ(
      g711_decode(decoder, decoded.data(), reinterpret_cast<const std::uint8_t*>(alaw.data()), 240),
      240);
  g711_free(decoder);
  EXPECT_EQ(ALawDecode(alaw), Linear(decoded));
}

TEST(G711OracleTest, SoxDecodesAFileOfEveryCodeAlike) {
  ASSERT_TRUE(testsupport::HaveProgram("sox")) << "sox is installed by scripts/install-deps";
  testsupport::TemporaryDirectory folder;
  std::string codes;
  for (int c = 0; c < 256; ++c)
    codes.push_back(static_cast<char>(c));
  const std::string in = folder.Path() + "/codes.al";
  const std::string out = folder.Path() + "/codes.s16";
  std::ofstream(in, std::ios::binary) << codes;
  const auto result = testsupport::RunCommand("sox -t al -r 8000 -c 1 '" + in +
                                              "' -t raw -e signed-integer -b 16 -L '" + out + "'");
  ASSERT_EQ(result.ExitCode, 0) << result.Output;
  std::ifstream decoded(out, std::ios::binary);
  const std::string sox((std::istreambuf_iterator<char>(decoded)),
                        std::istreambuf_iterator<char>());
  ASSERT_EQ(sox.size(), 512u);
  // Whole units on our side: the 256 codes and 64 more.
  const std::string ours = ALawDecode(codes + std::string(64, '\xD5'));
  ASSERT_EQ(ours.size(), 640u);
  for (std::size_t c = 0; c < 256; ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(ours.substr(2 * c, 2), sox.substr(2 * c, 2));
  }
}

}  // namespace
}  // namespace media
