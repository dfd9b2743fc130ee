// The fixed RTP header: wire layout, every combination of the first two bytes, short input.
#include "media/RtpHeader.h"

#include <gtest/gtest.h>

#include <string>

namespace media {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (const int value : values)
    bytes.push_back(static_cast<char>(value));
  return bytes;
}

TEST(RtpHeaderTest, TheSystemsOwnHeaderStartsWith0x80And0x08) {
  TRTPHeader header;
  header.Version = 2;
  header.PayloadType = 8;
  header.SequenceNumber = 0x1234;
  header.Timestamp = 0x89ABCDEF;
  header.SSRC = 0x01020304;
  EXPECT_EQ(EncodeHeader(header),
            Bytes({0x80, 0x08, 0x12, 0x34, 0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x02, 0x03, 0x04}));
}

TEST(RtpHeaderTest, AllFlagsAndLargestFieldsGive0xBF0xFF) {
  TRTPHeader header;
  header.Version = 2;
  header.Padding = true;
  header.Extension = true;
  header.CSRCCount = 15;
  header.Marker = true;
  header.PayloadType = 127;
  const std::string bytes = EncodeHeader(header);
  ASSERT_EQ(bytes.size(), kRtpHeaderSize);
  EXPECT_EQ(bytes.substr(0, 2), Bytes({0xBF, 0xFF}));
}

// Every value of bytes 0 and 1 decodes to fields that encode back to the same two bytes, and
// each field is the bits the wire table gives it.
TEST(RtpHeaderTest, EveryFirstAndSecondByteRoundTrips) {
  for (int first = 0; first < 256; ++first) {
    for (int second = 0; second < 256; ++second) {
      const std::string datagram =
          Bytes({first, second, 0xFF, 0xFE, 0x80, 0x00, 0x00, 0x01, 0xDE, 0xAD, 0xBE, 0xEF});
      const TRTPHeader header = DecodeHeader(datagram);
      ASSERT_EQ(header.Version, first >> 6) << first;
      ASSERT_EQ(header.Padding, (first & 0x20) != 0) << first;
      ASSERT_EQ(header.Extension, (first & 0x10) != 0) << first;
      ASSERT_EQ(header.CSRCCount, first & 0x0F) << first;
      ASSERT_EQ(header.Marker, (second & 0x80) != 0) << second;
      ASSERT_EQ(header.PayloadType, second & 0x7F) << second;
      ASSERT_EQ(header.SequenceNumber, 0xFFFE);
      ASSERT_EQ(header.Timestamp, 0x80000001u);
      ASSERT_EQ(header.SSRC, 0xDEADBEEFu);
      ASSERT_EQ(EncodeHeader(header), datagram) << first << " " << second;
    }
  }
}

TEST(RtpHeaderTest, ShortDatagramsGiveAnAllZeroHeader) {
  const std::string full = Bytes({0x80, 0x08, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3});
  for (std::size_t length = 0; length < kRtpHeaderSize; ++length) {
    SCOPED_TRACE(length);
    const TRTPHeader header = DecodeHeader(full.substr(0, length));
    EXPECT_EQ(header.Version, 0);
    EXPECT_EQ(header.PayloadType, 0);
    EXPECT_EQ(header.SequenceNumber, 0);
    EXPECT_EQ(header.Timestamp, 0u);
    EXPECT_EQ(header.SSRC, 0u);
    EXPECT_FALSE(header.Marker);
  }
  const TRTPHeader header = DecodeHeader(full);
  EXPECT_EQ(header.Version, 2);
  EXPECT_EQ(header.PayloadType, 8);
  EXPECT_EQ(header.SequenceNumber, 1);
  EXPECT_EQ(header.Timestamp, 2u);
  EXPECT_EQ(header.SSRC, 3u);
}

TEST(RtpHeaderTest, BytesAfterTheFixedHeaderAreNotRead) {
  const std::string header = Bytes({0x92, 0x08, 0, 7, 0, 0, 0, 0, 0, 0, 0, 9});
  const TRTPHeader alone = DecodeHeader(header);
  const TRTPHeader withMore = DecodeHeader(header + std::string(1000, '\xFF'));
  EXPECT_EQ(EncodeHeader(alone), EncodeHeader(withMore));
  EXPECT_EQ(withMore.CSRCCount, 2);
  EXPECT_TRUE(withMore.Extension);
}

TEST(RtpHeaderTest, OverwideFieldsAreCutToTheirWireWidth) {
  TRTPHeader header;
  header.Version = 6;     // 0b110: only the low two bits fit
  header.CSRCCount = 31;  // 0b11111: only the low four bits fit
  header.PayloadType = 0xFF;
  const std::string bytes = EncodeHeader(header);
  EXPECT_EQ(bytes.substr(0, 2), Bytes({0x8F, 0x7F}));
}

}  // namespace
}  // namespace media
