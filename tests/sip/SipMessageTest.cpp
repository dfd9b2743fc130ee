#include "sip/SipMessage.h"

#include <gtest/gtest.h>

namespace sip {
namespace {

constexpr char kPrevious[] = "previous header block";

struct FrameCase {
  const char* Name;
  std::string Datagram;
  FrameResult Result;
  std::string HeaderBlock;  // after framing
  std::string Buffer;       // after framing
};

std::string Ok(const std::string& headers) {
  return "SIP/2.0 200 OK\r\n" + headers;
}

TEST(FrameDatagramTest, CutsHeaderBlockAndBodyOrDrops) {
  const std::string sdp = "v=0\r\nm=audio 4000 RTP/AVP 8\r\n";
  const FrameCase cases[] = {
      {"keep-alive leaves everything", "Cirpack KeepAlive Packet\r\n\r\nContent-Length: 0\r\n",
       FrameResult::kKeepAlive, kPrevious, "Cirpack KeepAlive Packet\r\n\r\nContent-Length: 0\r\n"},
      {"no blank line keeps the previous block", Ok("Content-Length: 0\r\n"),
       FrameResult::kNoBlankLine, kPrevious, Ok("Content-Length: 0\r\n")},
      {"zero length, empty body", Ok("Content-Length: 0\r\n\r\n"), FrameResult::kMessage,
       Ok("Content-Length: 0\r\n"), ""},
      {"body cut to the announced length", Ok("Content-Length: 5\r\n\r\nhello, extra"),
       FrameResult::kMessage, Ok("Content-Length: 5\r\n"), "hello"},
      {"SDP body", Ok("Content-Length: " + std::to_string(sdp.size()) + "\r\n\r\n" + sdp),
       FrameResult::kMessage, Ok("Content-Length: " + std::to_string(sdp.size()) + "\r\n"), sdp},
      {"blanks before the number are skipped", Ok("Content-Length:    3\r\n\r\nabc"),
       FrameResult::kMessage, Ok("Content-Length:    3\r\n"), "abc"},
      {"tab before the number is skipped", Ok("Content-Length: \t3\r\n\r\nabc"),
       FrameResult::kMessage, Ok("Content-Length: \t3\r\n"), "abc"},
      {"lower-case name is not recognised", Ok("content-length: 0\r\n\r\n"),
       FrameResult::kNoContentLength, Ok("content-length: 0\r\n"), Ok("content-length: 0\r\n\r\n")},
      {"compact form is not recognised", Ok("l: 0\r\n\r\n"), FrameResult::kNoContentLength,
       Ok("l: 0\r\n"), Ok("l: 0\r\n\r\n")},
      {"body shorter than announced", Ok("Content-Length: 10\r\n\r\nshort"),
       FrameResult::kBodyTooShort, Ok("Content-Length: 10\r\n"),
       Ok("Content-Length: 10\r\n\r\nshort")},
      {"twenty digits neither overflow nor pass",
       Ok("Content-Length: 18446744073709551621\r\n\r\nabcde"), FrameResult::kBodyTooShort,
       Ok("Content-Length: 18446744073709551621\r\n"),
       Ok("Content-Length: 18446744073709551621\r\n\r\nabcde")},
      {"no digits reads as zero", Ok("Content-Length: x\r\n\r\nbody"), FrameResult::kMessage,
       Ok("Content-Length: x\r\n"), ""},
      {"blank line at the very start", "\r\n\r\n", FrameResult::kNoContentLength, "\r\n",
       "\r\n\r\n"},
      {"empty datagram", "", FrameResult::kNoBlankLine, kPrevious, ""},
  };
  for (const FrameCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string buffer = c.Datagram;
    std::string headerBlock = kPrevious;
    EXPECT_EQ(FrameDatagram(buffer, headerBlock), c.Result);
    EXPECT_EQ(headerBlock, c.HeaderBlock);
    EXPECT_EQ(buffer, c.Buffer);
  }
}

TEST(GetHeaderTest, FindsExactNamesAtTheStartOfALaterLine) {
  const std::string block =
      "To: <sip:first-line@x>\r\n"
      "Via: SIP/2.0/UDP a;branch=1\r\n"
      "Via: SIP/2.0/UDP b;branch=2\r\n"
      "From : <sip:blank@x>\r\n"
      "Call-ID:no-blank\r\n"
      "X-To: not this\r\n"
      "CSeq: 7 BYE\r\n";
  EXPECT_EQ(GetHeader(block, "Via"), " SIP/2.0/UDP a;branch=1");  // first of repeated
  EXPECT_EQ(GetHeader(block, "To"), "");                          // only on the first line
  EXPECT_EQ(GetHeader(block, "From"), "");                        // blank before the colon
  EXPECT_EQ(GetHeader(block, "Call-ID"), "no-blank");
  EXPECT_EQ(GetHeader(block, "CSeq"), " 7 BYE");
  EXPECT_EQ(GetHeader(block, "cseq"), "");
  EXPECT_EQ(GetHeader("SIP/2.0 200 OK\r\nTo: <sip:end>", "To"), " <sip:end>");  // no CR
  EXPECT_EQ(GetHeader("", "To"), "");
  EXPECT_EQ(GetHeader("\r\nTo:", "To"), "");
}

TEST(ReadNumberTest, ReadsDigitsFromAOneBasedPosition) {
  EXPECT_EQ(ReadNumber("SIP/2.0 180 Ringing", 9), 180u);
  EXPECT_EQ(ReadNumber("abc42", 4), 42u);
  EXPECT_EQ(ReadNumber("abc", 2), 0u);
  EXPECT_EQ(ReadNumber("12", 3), 0u);  // just past the end
  EXPECT_EQ(ReadNumber("12", 99), 0u);
  EXPECT_EQ(ReadNumber("4294967295", 1), 4294967295u);
  EXPECT_EQ(ReadNumber("4294967296", 1), 4294967295u);  // saturates
  EXPECT_EQ(ReadNumber("99999999999999999999", 1), 4294967295u);
}

TEST(ParseStatusCodeTest, AcceptsOnlyValidStatusLinesFrom100To699) {
  struct Case {
    const char* Line;
    std::optional<int> Code;
  };
  const Case cases[] = {
      {"SIP/2.0 100 Trying\r\n", 100},
      {"SIP/2.0 699 Whatever\r\n", 699},
      {"SIP/2.0 200\r\n", 200},
      {"SIP/2.0 099 Low\r\n", std::nullopt},
      {"SIP/2.0 700 High\r\n", std::nullopt},
      {"SIP/2.0 4294967396 Wraps\r\n", std::nullopt},
      {"SIP/2.0  200 Two blanks\r\n", std::nullopt},
      {"SIP/1.0 200 OK\r\n", std::nullopt},
      {"sip/2.0 200 OK\r\n", std::nullopt},
      {"INVITE sip:x SIP/2.0\r\n", std::nullopt},
      {"SIP/2.0 ", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Line);
    EXPECT_EQ(ParseStatusCode(c.Line), c.Code);
  }
}

TEST(IsByeRequestTest, LooksAtTheMethodOnly) {
  EXPECT_TRUE(IsByeRequest("BYE sip:x SIP/2.0\r\n"));
  EXPECT_FALSE(IsByeRequest("BYEBYE sip:x SIP/2.0\r\n"));
  EXPECT_FALSE(IsByeRequest("SIP/2.0 200 OK\r\n"));
}

}  // namespace
}  // namespace sip
