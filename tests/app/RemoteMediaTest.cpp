#include "app/RemoteMedia.h"

#include <cstdint>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace app {
namespace {

// A callee's answer as a server sends it: CR LF line ends, media line after the connection.
const std::string kAnswer =
    "v=0\r\n"
    "o=- 1 2 IN IP4 192.0.2.10\r\n"
    "s=-\r\n"
    "c=IN IP4 192.0.2.20\r\n"
    "t=0 0\r\n"
    "m=audio 40002 RTP/AVP 8\r\n"
    "a=rtpmap:8 PCMA/8000\r\n";

TEST(RemoteMediaTest, AnswerGivesPortAndAddress) {
  EXPECT_EQ(ReadRemoteMedia(kAnswer), (RemoteMedia{"192.0.2.20", 40002}));
}

struct SdpCase {
  const char* Name;
  std::string Sdp;
  std::optional<RemoteMedia> Expected;
};

TEST(RemoteMediaTest, LinesAreFoundByPlainSearch) {
  const SdpCase cases[] = {
      {"connection before media", "c=IN IP4 10.0.0.1\r\nm=audio 5004 RTP/AVP 8\r\n",
       RemoteMedia{"10.0.0.1", 5004}},
      {"connection after media", "m=audio 5004 RTP/AVP 8\r\nc=IN IP4 10.0.0.1\r\n",
       RemoteMedia{"10.0.0.1", 5004}},
      {"first media line counts", "m=audio 1000 X\r\nm=audio 2000 X\r\nc=IN IP4 a\r\n",
       RemoteMedia{"a", 1000}},
      {"first connection line counts", "c=IN IP4 a\r\nm=audio 1 X\r\nc=IN IP4 b\r\n",
       RemoteMedia{"a", 1}},
      {"video line is no audio line", "m=video 6000 X\r\nm=audio 7000 X\r\nc=IN IP4 a\r\n",
       RemoteMedia{"a", 7000}},
      {"found inside another line too", "a=x m=audio 9 c=IN IP4 z\r\n", RemoteMedia{"z", 9}},
      {"no media line", "c=IN IP4 10.0.0.1\r\nm=video 5004 X\r\n", std::nullopt},
      {"no connection line", "m=audio 5004 RTP/AVP 8\r\n", std::nullopt},
      {"IPv6 connection only", "c=IN IP6 ::1\r\nm=audio 5004 X\r\n", std::nullopt},
      {"letter case counts (media)", "M=audio 5004 X\r\nc=IN IP4 a\r\n", std::nullopt},
      {"letter case counts (connection)", "m=audio 5004 X\r\nc=in ip4 a\r\n", std::nullopt},
      {"trailing blank is part of the media line", "m=audio\r\nc=IN IP4 a\r\n", std::nullopt},
      {"trailing blank is part of the connection line", "m=audio 1\r\nc=IN IP4\r\n", std::nullopt},
      {"empty answer", "", std::nullopt},
  };
  for (const SdpCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ReadRemoteMedia(c.Sdp), c.Expected);
  }
}

TEST(RemoteMediaTest, AddressEndsAtTheLineEnd) {
  const SdpCase cases[] = {
      {"carriage return", "m=audio 1 X\r\nc=IN IP4 10.0.0.1\r\nt=0 0\r\n",
       RemoteMedia{"10.0.0.1", 1}},
      {"bare line feed", "m=audio 1 X\nc=IN IP4 10.0.0.1\nt=0 0\r\n", RemoteMedia{"10.0.0.1", 1}},
      {"end of the text", "m=audio 1 X\r\nc=IN IP4 10.0.0.1", RemoteMedia{"10.0.0.1", 1}},
      {"bare carriage return", "m=audio 1 X\rc=IN IP4 10.0.0.1\rt=0", RemoteMedia{"10.0.0.1", 1}},
      {"text after the address stays", "m=audio 1 X\r\nc=IN IP4 224.2.1.1/127\r\n",
       RemoteMedia{"224.2.1.1/127", 1}},
      {"blanks are not trimmed", "m=audio 1 X\r\nc=IN IP4 10.0.0.1 \r\n",
       RemoteMedia{"10.0.0.1 ", 1}},
      {"empty line gives an empty address", "m=audio 1 X\r\nc=IN IP4 \r\n", RemoteMedia{"", 1}},
  };
  for (const SdpCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ReadRemoteMedia(c.Sdp), c.Expected);
  }
}

struct PortCase {
  const char* Text;
  std::uint16_t Expected;
};

TEST(RemoteMediaTest, PortIsTheLeadingDecimalNumber) {
  const PortCase cases[] = {
      {"5004 RTP/AVP 8", 5004},
      {"   5004 RTP/AVP 8", 5004},  // leading blanks skipped
      {"0", 0},
      {"1", 1},
      {"05004", 5004},
      {"5004/2 RTP/AVP 8", 5004},  // digits up to the first non-digit
      {"5004\r\n", 5004},
      {"65535", 65535},
      {"RTP 5004", 0},  // letters where the port belongs
      {"x5004", 0},
      {"", 0},
      {"   ", 0},
      {"-5004", 0},
      {"+5004", 0},
      {"\t5004", 0},  // only blanks are skipped
      {"\r\n5004", 0},
  };
  for (const PortCase& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(ReadPort(c.Text), c.Expected);
  }
}

TEST(RemoteMediaTest, NumberAbovePortRangeGivesZero) {
  const PortCase cases[] = {
      {"65536", 0},
      {"70000", 0},
      {"4294967296", 0},                              // would wrap a 32-bit number to 0
      {"4294972300", 0},                              // would wrap a 32-bit number to 5004
      {"18446744073709556620", 0},                    // would wrap a 64-bit number to 5004
      {"99999999999999999999999999999999999999", 0},  // no overflow on any length
      {"000000000000000000000000000000000005004", 5004},
  };
  for (const PortCase& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(ReadPort(c.Text), c.Expected);
  }
}

TEST(RemoteMediaTest, LettersInThePortStillStartMedia) {
  EXPECT_EQ(ReadRemoteMedia("m=audio abc RTP/AVP 8\r\nc=IN IP4 10.0.0.1\r\n"),
            (RemoteMedia{"10.0.0.1", 0}));
}

}  // namespace
}  // namespace app
