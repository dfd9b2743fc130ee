// The SIP wire format against its references: RFC 1321's vectors and md5sum for MD5, md5sum for
// the digest credentials, the exact text of every request the provider's server accepts (tshark
// decodes them on the wire in the end-to-end runs), and the reading of received datagrams.
#include <gtest/gtest.h>

#include <algorithm>

#include "sip/Digest.h"
#include "sip/SdpOffer.h"
#include "sip/SipComposer.h"
#include "sip/SipMessage.h"
#include "sip/md5.h"
#include "support/Command.h"

namespace sip {
namespace {

std::string Md5(const std::string& text) {
  MD5Digest digest;
  MD5String(text, digest);
  return MD5Print(digest);
}

TEST(Md5Test, Rfc1321VectorsAndMd5sumAroundTheBlockEdges) {
  const std::pair<std::string, std::string> vectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"}};
  for (const auto& [input, digest] : vectors)
    EXPECT_EQ(Md5(input), digest) << input;
  for (const std::size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u}) {
    std::string input;
    for (std::size_t i = 0; i < length; ++i)
      input += static_cast<char>('!' + (i * 7) % 90);
    EXPECT_EQ(Md5(input), testsupport::Md5sum(input)) << length;
  }
  MD5Context context;  // what a password went through must not linger
  MD5Digest digest;
  MD5Init(context);
  MD5Update(context, "s3cret", 6);
  MD5Final(context, digest);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&context);
  EXPECT_TRUE(std::all_of(bytes, bytes + sizeof context, [](unsigned char b) { return b == 0; }));
}

TEST(DigestTest, ChallengeParameters) {
  const std::string challenge =
      R"(Digest realm="sip.example.test", nonce="a,b c", algorithm=MD5,qop=auth, x=1)";
  const char* const cases[][2] = {{"realm", "sip.example.test"},
                                  {"nonce", "a,b c"},
                                  {"algorithm", "MD5"},
                                  {"qop", "auth"},
                                  {"opaque", ""},
                                  {"x", ""},
                                  {"Digest", ""}};
  for (const auto& [name, value] : cases)
    EXPECT_EQ(GetParam(name, challenge), value) << name;
  EXPECT_EQ(GetParam("nonce", R"(nonce="open)"), "open");  // an unclosed quote runs to the end
  EXPECT_EQ(GetParam("realm", "realm=x"), "");             // "=" needs two characters after it
  EXPECT_EQ(GetParam("realm", "realm=xy"), "xy");
}

TEST(DigestTest, CredentialsAgreeWithMd5sum) {
  const std::string ha1 = testsupport::Md5sum("0123:sip.example.test:s3cret");
  EXPECT_EQ(PasswordDigest("0123", "sip.example.test", "s3cret"), ha1);
  EXPECT_EQ(PasswordDigest("0123", "other", "{" + ha1 + "}"), ha1);  // a remembered password
  EXPECT_EQ(PasswordDigest("0", "r", "{" + ha1), testsupport::Md5sum("0:r:{" + ha1));
  const std::string response =
      testsupport::Md5sum(ha1 + ":n0nce:" + testsupport::Md5sum("REGISTER:sip:sip.example.test"));
  const std::string header =
      "SIP/2.0 407 Proxy\r\nProxy-Authenticate: Digest realm=\"sip.example.test\""
      ", nonce=\"n0nce\", opaque=\"op\", algorithm=MD5\r\n";
  EXPECT_EQ(BuildAuthorization(407, header, "0123", "s3cret", "REGISTER", "sip:sip.example.test"),
            "Proxy-Authorization: Digest username=\"0123\",realm=\"sip.example.test\","
            "nonce=\"n0nce\",response=\"" +
                response +
                "\",uri=\"sip:sip.example.test\","
                "algorithm=MD5,opaque=\"op\"\r\n");
  std::string www = header;
  www.replace(www.find("Proxy-"), 6, "WWW-");
  EXPECT_EQ(BuildAuthorization(401, www, "0123", "s3cret", "REGISTER", "sip:sip.example.test")
                ->substr(0, 21),
            "Authorization: Digest");
  EXPECT_FALSE(BuildAuthorization(401, header, "0123", "s", "REGISTER", "sip:x"));  // wrong header
  std::string sha = www;
  sha.replace(sha.find("MD5"), 3, "SHA");
  EXPECT_FALSE(BuildAuthorization(401, sha, "0123", "s", "REGISTER", "sip:x"));
  std::string split = www;
  split.replace(split.find("n0nce"), 5, "n0\nX: 1");
  EXPECT_FALSE(BuildAuthorization(401, split, "0123", "s", "REGISTER", "sip:x"));
}

// A registration and a call as the engine composes them; {B} stands for the branch drawn.
class ComposerTest : public ::testing::Test {
 protected:
  ComposerTest() { composer_.SetAccount("Alice", "sip.example.test", "0123", 4242); }
  std::string Expected(std::string text) const {
    text.replace(text.find("{B}"), 3, composer_.Current().Branch);
    return text;
  }
  TSipComposer composer_{"0123456789ABCDEF0123456789ABCDEF"};
};

constexpr char kHead[] =
    "Via: SIP/2.0/UDP sip.example.test;rport;branch=z9hG4bK{B}\r\n"
    "From: Alice <sip:0123@sip.example.test>;tag=4242\r\n";
constexpr char kCallID[] = "Call-ID: 0123456789ABCDEF0123456789ABCDEF@sip.example.test\r\n";
constexpr char kAccount[] = "Max-Forwards: 70\r\nContact: Alice <sip:0123@sip.example.test>\r\n";

TEST_F(ComposerTest, RegistrationAndCallTexts) {
  const std::string request = composer_.Register();
  EXPECT_EQ(request, Expected(std::string("REGISTER sip:sip.example.test SIP/2.0\r\n") + kHead +
                              "To: Alice <sip:0123@sip.example.test>\r\n" + kCallID +
                              "CSeq: 1 REGISTER\r\n" + kAccount +
                              "Expires: 1800\r\nUser-Agent: Telvarion 0.3.0 (2006-08-11)\r\n"
                              "Content-Length: 0\r\n\r\n"));
  const std::string registerBranch = composer_.Current().Branch;
  composer_.CallTo("0612");
  const std::string invite = composer_.Invite(BuildSdpOffer(11, 22, "203.0.113.5", 5004));
  EXPECT_NE(composer_.Current().Branch, registerBranch);
  EXPECT_EQ(invite, Expected(std::string("INVITE sip:0612@sip.example.test SIP/2.0\r\n") + kHead +
                             "To: <sip:0612@sip.example.test>\r\n" + kCallID +
                             "CSeq: 2 INVITE\r\n" + kAccount +
                             "Expires: 1800\r\nUser-Agent: Telvarion 0.3.0 (2006-08-11)\r\n"
                             "Content-Type: application/sdp\r\nContent-Length: 153\r\n\r\n"
                             "v=0\r\no=Telvarion 11 22 IN IP4 203.0.113.5\r\ns=SIP Call\r\n"
                             "c=IN IP4 203.0.113.5\r\nt=0 0\r\nm=audio 5004 RTP/AVP 8\r\n"
                             "b=AS:64\r\na=rtpmap:8 PCMA/8000/1\r\na=ptime:30\r\n"));
  // CANCEL and ACK stay in the INVITE's transaction; a BYE opens the next one.
  EXPECT_EQ(composer_.Cancel(),
            Expected(std::string("CANCEL sip:0612@sip.example.test SIP/2.0\r\n") + kHead +
                     "To: <sip:0612@sip.example.test>\r\n" + kCallID +
                     "CSeq: 2 CANCEL\r\nMax-Forwards: 70\r\nContent-Length: 0\r\n\r\n"));
  composer_.Answered(" <sip:0612@x>;tag=9");
  const std::string bye = composer_.Bye();
  EXPECT_NE(bye.find("\r\nTo:  <sip:0612@x>;tag=9\r\n"), std::string::npos);
  EXPECT_NE(bye.find("\r\nCSeq: 3 BYE\r\n"), std::string::npos);
  EXPECT_EQ(composer_.LastMethod(), "BYE");
  const std::string unregister = composer_.Unregister();
  EXPECT_TRUE(unregister.starts_with("REGISTER sip:sip.example.test SIP/2.0\r\n"));
  EXPECT_NE(unregister.find("\r\nCSeq: 4 REGISTER\r\n"), std::string::npos);
  EXPECT_NE(unregister.find("\r\nExpires: 0\r\n"), std::string::npos);
}

// Every proxy on the way finds its Via again; the first one learns where the request came from.
TEST(ComposeResponseTest, TheAnswerToAByeReturnsItsHeaders) {
  const std::string bye =
      "BYE sip:0123@192.0.2.2 SIP/2.0\r\nVia: SIP/2.0/UDP p;branch=z9hG4bKb\r\n"
      "From: <sip:9@x>;tag=1\r\nv: SIP/2.0/UDP q;branch=z9hG4bKq, SIP/2.0/UDP r\r\n"
      "To: <sip:0123@x>;tag=2\r\nCall-ID:c@x\r\nCSeq: 9 BYE\r\n";
  EXPECT_EQ(TSipComposer::ComposeResponse("200 OK", bye, "198.51.100.10"),
            "SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP p;branch=z9hG4bKb;received=198.51.100.10\r\n"
            "Via: SIP/2.0/UDP q;branch=z9hG4bKq, SIP/2.0/UDP r\r\n"
            "From: <sip:9@x>;tag=1\r\nTo: <sip:0123@x>;tag=2\r\nCall-ID:c@x\r\nCSeq: 9 BYE\r\n"
            "Content-Length: 0\r\n\r\n");
  EXPECT_EQ(TSipComposer::ComposeResponse("200 OK", "X\r\nv: a, b\r\n", "h").substr(0, 34),
            "SIP/2.0 200 OK\r\nVia: a;received=h,");
}

TEST(FramingTest, DatagramsIntoHeaderBlockAndBody) {
  struct Case {
    std::string Datagram;
    FrameResult Result;
    std::string Body;
    std::string HeaderBlock;
  } cases[] = {
      {"Cirpack KeepAlive Packet\r\n\r\n", FrameResult::kKeepAlive, "", "old"},
      {"SIP/2.0 200 OK\r\nX: 1\r\n", FrameResult::kNoBlankLine, "", "old"},
      // Over UDP a message may leave its length out: the datagram's end is the body's.
      {"SIP/2.0 200 OK\r\nX: 1\r\n\r\nbody", FrameResult::kMessage, "body",
       "SIP/2.0 200 OK\r\nX: 1\r\n"},
      {"A\r\nl:2\r\ncontent-length: 3\r\n\r\nbody", FrameResult::kMessage, "bo", ""},
      {"A\r\nX: Content-Length: 2\r\n\r\nbody", FrameResult::kMessage, "body", ""},
      {"A\r\nContent-Length: 5\r\n\r\nbody", FrameResult::kBodyTooShort, "",
       "A\r\nContent-Length: 5\r\n"},
      {"A\r\nContent-Length: \t 4\r\n\r\nbody+", FrameResult::kMessage, "body",
       "A\r\nContent-Length: \t 4\r\n"},
      {"A\r\nContent-Length: 99999999999999999999\r\n\r\n", FrameResult::kBodyTooShort, "", ""},
      {"A\r\nContent-Length: 0\r\n\r\n", FrameResult::kMessage, "", "A\r\nContent-Length: 0\r\n"}};
  for (Case& c : cases) {
    SCOPED_TRACE(c.Datagram);
    std::string headerBlock = "old";
    EXPECT_EQ(FrameDatagram(c.Datagram, headerBlock), c.Result);
    if (c.Result == FrameResult::kMessage) {
      EXPECT_EQ(c.Datagram, c.Body);
    }
    if (!c.HeaderBlock.empty()) {
      EXPECT_EQ(headerBlock, c.HeaderBlock);
    }
  }
}

TEST(ReadingTest, HeadersStatusCodesAndCallIDs) {
  const std::string block =
      "SIP/2.0 180 Ringing\r\nTo: <sip:a@b>;tag=1\r\nto: x\r\nCall-ID:  id@h \r\n"
      "f :<sip:a;tag=u>;TAG=7\r\n v: continued\r\nCSeq:  12  INVITE\r\n";
  EXPECT_EQ(GetHeader(block, "To"), " <sip:a@b>;tag=1");
  EXPECT_EQ(GetHeaders(block, "TO"), (std::vector<std::string>{" <sip:a@b>;tag=1", " x"}));
  EXPECT_EQ(GetHeader(block, "From"), "<sip:a;tag=u>;TAG=7");
  EXPECT_EQ(HeaderParameter(GetHeader(block, "From"), "tag"), "7");
  EXPECT_EQ(HeaderParameter(" <sip:a@b>", "tag"), "");
  EXPECT_EQ(HeaderParameter("<sip:a>;x=1;tag=7;y=2", "tag"), "7");
  EXPECT_EQ(GetHeader(block, "Via"), "");  // a continuation line names no header
  EXPECT_EQ(GetHeader("SIP/2.0 1\r\nVia: v", "Via"), " v");
  EXPECT_EQ(ParseCSeq(block), (TCSeq{12, "INVITE"}));
  for (const char* bad : {"X\r\nCSeq: INVITE\r\n", "X\r\nCSeq: 1\r\n", "X\r\nCSeq: 1A X\r\n"})
    EXPECT_FALSE(ParseCSeq(bad)) << bad;
  const std::pair<const char*, const char*> methods[] = {{"OPTIONS sip:a@b SIP/2.0\r\n", "OPTIONS"},
                                                         {"SIP/2.0 200 OK\r\n", ""},
                                                         {"INVITE  sip:a SIP/2.0\r\n", ""},
                                                         {"INVITE sip:a SIP/2.0 \r\n", ""}};
  for (const auto& [line, method] : methods)
    EXPECT_EQ(RequestMethod(line), method) << line;
  EXPECT_EQ(ReadNumber("x12345y", 2), 12345u);
  EXPECT_EQ(ReadNumber("4294967296", 1), 4294967295u);
  EXPECT_EQ(ReadNumber("7", 0), 7u);
  EXPECT_EQ(ReadNumber(std::string_view("12345").substr(0, 3), 1), 123u);  // the view's end
  const std::pair<const char*, std::optional<int>> codes[] = {
      {"SIP/2.0 100 x", 100},          {"SIP/2.0 699 x", 699},
      {"SIP/2.0 099 x", std::nullopt}, {"SIP/2.0 700 x", std::nullopt},
      {"SIP/2.1 200 x", std::nullopt}, {"BYE sip:x SIP/2.0", std::nullopt}};
  for (const auto& [line, code] : codes)
    EXPECT_EQ(ParseStatusCode(line), code) << line;
  EXPECT_TRUE(IsByeRequest("BYE sip:x SIP/2.0\r\n"));
  EXPECT_FALSE(IsByeRequest("BYEE sip:x"));
  EXPECT_TRUE(CarriesCallID(block, "id@h"));
  EXPECT_TRUE(CarriesCallID("X\r\ni :id@h\r\n", "id@h"));
  EXPECT_FALSE(CarriesCallID("X\r\nCall-ID: other\r\ni: id@h\r\n", "id@h"));  // the first counts
  EXPECT_FALSE(CarriesCallID("Call-ID: id@h\r\n", "id@h"));  // the first line is no header
}

}  // namespace
}  // namespace sip
