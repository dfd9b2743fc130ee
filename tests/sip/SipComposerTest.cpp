#include "sip/SipComposer.h"

#include <gtest/gtest.h>

#include "sip/SdpOffer.h"

namespace sip {
namespace {

constexpr char kCallID[] = "0123456789ABCDEF0123456789ABCDEF";

// Replaces every "{BRANCH}" by the branch part the composer drew.
std::string WithBranch(std::string text, const std::string& branch) {
  for (std::size_t at; (at = text.find("{BRANCH}")) != std::string::npos;) {
    text.replace(at, 8, branch);
  }
  return text;
}

// Drives the composer the way the engine does for a registration and a call.
class SipComposerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    composer_.CallID = kCallID;
    composer_.SetAccount("Alice", "sip.example.test", "0123456789", 4242);
  }

  std::string Register() {
    composer_.RequestURI = "sip:sip.example.test";
    composer_.RequestTo = "Alice <sip:0123456789@sip.example.test>";
    return composer_.NewRequest("REGISTER", composer_.RequestTo, "", "");
  }

  std::string Invite(const std::string& number) {
    composer_.RequestURI = "sip:" + number + "@sip.example.test";
    composer_.RequestTo = "<" + composer_.RequestURI + ">";
    composer_.RemoteTo.clear();
    return composer_.NewRequest("INVITE", composer_.RequestTo, kOffer,
                                std::string(kSdpContentType));
  }

  const std::string kOffer = BuildSdpOffer(11, 22, "203.0.113.5", 5004);
  SipComposer composer_;
};

TEST_F(SipComposerTest, RegisterThenUnregister) {
  const std::string registration = Register();
  const std::string firstBranch = composer_.Branch;
  EXPECT_EQ(registration,
            WithBranch("REGISTER sip:sip.example.test SIP/2.0\r\n"
                       "Via: SIP/2.0/UDP sip.example.test;rport;branch=z9hG4bK{BRANCH}\r\n"
                       "From: Alice <sip:0123456789@sip.example.test>;tag=4242\r\n"
                       "To: Alice <sip:0123456789@sip.example.test>\r\n"
                       "Call-ID: 0123456789ABCDEF0123456789ABCDEF@sip.example.test\r\n"
                       "CSeq: 1 REGISTER\r\n"
                       "Max-Forwards: 70\r\n"
                       "Contact: Alice <sip:0123456789@sip.example.test>\r\n"
                       "Expires: 1800\r\n"
                       "User-Agent: Telvarion 0.3.0 (2006-08-11)\r\n"
                       "Content-Length: 0\r\n"
                       "\r\n",
                       firstBranch));

  composer_.Expires = kExpiresUnregister;
  const std::string unregistration = Register();
  EXPECT_NE(composer_.Branch, firstBranch);
  EXPECT_EQ(unregistration,
            WithBranch("REGISTER sip:sip.example.test SIP/2.0\r\n"
                       "Via: SIP/2.0/UDP sip.example.test;rport;branch=z9hG4bK{BRANCH}\r\n"
                       "From: Alice <sip:0123456789@sip.example.test>;tag=4242\r\n"
                       "To: Alice <sip:0123456789@sip.example.test>\r\n"
                       "Call-ID: 0123456789ABCDEF0123456789ABCDEF@sip.example.test\r\n"
                       "CSeq: 2 REGISTER\r\n"
                       "Max-Forwards: 70\r\n"
                       "Contact: Alice <sip:0123456789@sip.example.test>\r\n"
                       "Expires: 0\r\n"
                       "User-Agent: Telvarion 0.3.0 (2006-08-11)\r\n"
                       "Content-Length: 0\r\n"
                       "\r\n",
                       composer_.Branch));
}

TEST_F(SipComposerTest, InviteAckCancelAndByeOfOneCall) {
  Register();
  const std::string registerBranch = composer_.Branch;

  const std::string invite = Invite("0612345678");
  const std::string inviteBranch = composer_.Branch;
  EXPECT_NE(inviteBranch, registerBranch);
  EXPECT_EQ(invite, WithBranch("INVITE sip:0612345678@sip.example.test SIP/2.0\r\n"
                               "Via: SIP/2.0/UDP sip.example.test;rport;branch=z9hG4bK{BRANCH}\r\n"
                               "From: Alice <sip:0123456789@sip.example.test>;tag=4242\r\n"
                               "To: <sip:0612345678@sip.example.test>\r\n"
                               "Call-ID: 0123456789ABCDEF0123456789ABCDEF@sip.example.test\r\n"
                               "CSeq: 2 INVITE\r\n"
                               "Max-Forwards: 70\r\n"
                               "Contact: Alice <sip:0123456789@sip.example.test>\r\n"
                               "Expires: 1800\r\n"
                               "User-Agent: Telvarion 0.3.0 (2006-08-11)\r\n"
                               "Content-Type: application/sdp\r\n"
                               "Content-Length: 153\r\n"
                               "\r\n"
                               "v=0\r\n"
                               "o=Telvarion 11 22 IN IP4 203.0.113.5\r\n"
                               "s=SIP Call\r\n"
                               "c=IN IP4 203.0.113.5\r\n"
                               "t=0 0\r\n"
                               "m=audio 5004 RTP/AVP 8\r\n"
                               "b=AS:64\r\n"
                               "a=rtpmap:8 PCMA/8000/1\r\n"
                               "a=ptime:30\r\n",
                               inviteBranch));

  const std::string cancel = composer_.WriteRequest("CANCEL", composer_.RequestTo, "", "");
  EXPECT_EQ(cancel, WithBranch("CANCEL sip:0612345678@sip.example.test SIP/2.0\r\n"
                               "Via: SIP/2.0/UDP sip.example.test;rport;branch=z9hG4bK{BRANCH}\r\n"
                               "From: Alice <sip:0123456789@sip.example.test>;tag=4242\r\n"
                               "To: <sip:0612345678@sip.example.test>\r\n"
                               "Call-ID: 0123456789ABCDEF0123456789ABCDEF@sip.example.test\r\n"
                               "CSeq: 2 CANCEL\r\n"
                               "Max-Forwards: 70\r\n"
                               "Content-Length: 0\r\n"
                               "\r\n",
                               inviteBranch));
  EXPECT_EQ(composer_.LastMethod, "CANCEL");

  composer_.RemoteTo = " <sip:0612345678@sip.example.test>;tag=as58f4";
  const std::string ack = composer_.WriteRequest("ACK", composer_.RemoteTo, "", "");
  EXPECT_EQ(ack, WithBranch("ACK sip:0612345678@sip.example.test SIP/2.0\r\n"
                            "Via: SIP/2.0/UDP sip.example.test;rport;branch=z9hG4bK{BRANCH}\r\n"
                            "From: Alice <sip:0123456789@sip.example.test>;tag=4242\r\n"
                            "To:  <sip:0612345678@sip.example.test>;tag=as58f4\r\n"
                            "Call-ID: 0123456789ABCDEF0123456789ABCDEF@sip.example.test\r\n"
                            "CSeq: 2 ACK\r\n"
                            "Max-Forwards: 70\r\n"
                            "Content-Length: 0\r\n"
                            "\r\n",
                            inviteBranch));

  const std::string bye = composer_.NewRequest("BYE", composer_.RemoteTo, "", "");
  EXPECT_NE(composer_.Branch, inviteBranch);
  EXPECT_EQ(bye, WithBranch("BYE sip:0612345678@sip.example.test SIP/2.0\r\n"
                            "Via: SIP/2.0/UDP sip.example.test;rport;branch=z9hG4bK{BRANCH}\r\n"
                            "From: Alice <sip:0123456789@sip.example.test>;tag=4242\r\n"
                            "To:  <sip:0612345678@sip.example.test>;tag=as58f4\r\n"
                            "Call-ID: 0123456789ABCDEF0123456789ABCDEF@sip.example.test\r\n"
                            "CSeq: 3 BYE\r\n"
                            "Max-Forwards: 70\r\n"
                            "Contact: Alice <sip:0123456789@sip.example.test>\r\n"
                            "Expires: 1800\r\n"
                            "User-Agent: Telvarion 0.3.0 (2006-08-11)\r\n"
                            "Content-Length: 0\r\n"
                            "\r\n",
                            composer_.Branch));
}

TEST_F(SipComposerTest, ASecondCallKeepsTheCallIDAndCountsOn) {
  Register();
  Invite("111");
  composer_.NewRequest("BYE", composer_.RemoteTo, "", "");
  const std::string second = Invite("222");
  EXPECT_NE(second.find("CSeq: 4 INVITE\r\n"), std::string::npos) << second;
  EXPECT_NE(second.find("Call-ID: 0123456789ABCDEF0123456789ABCDEF@sip.example.test\r\n"),
            std::string::npos);
}

TEST_F(SipComposerTest, SetAccountDrawsNothingButRenewsTheLines) {
  composer_.SetAccount("Bob", "10.0.0.1", "555", 7);
  EXPECT_EQ(composer_.CallID, kCallID);
  EXPECT_EQ(composer_.Expires, "1800");
  EXPECT_EQ(composer_.ViaPrefix, "Via: SIP/2.0/UDP 10.0.0.1;rport;branch=z9hG4bK");
  EXPECT_EQ(composer_.FromLine, "From: Bob <sip:555@10.0.0.1>;tag=7\r\n");
  EXPECT_EQ(composer_.ContactLine, "Contact: Bob <sip:555@10.0.0.1>\r\n");
}

TEST(SipComposerCallIDTest, EachComposerDrawsItsOwnCallID) {
  const SipComposer first;
  const SipComposer second;
  EXPECT_EQ(first.CallID.size(), 32u);
  EXPECT_NE(first.CallID, second.CallID);
}

TEST(ComposeResponseTest, AnswersAByeWithItsFirstViaAndTheServerAddress) {
  const std::string bye =
      "BYE sip:0123456789@192.0.2.2 SIP/2.0\r\n"
      "Via: SIP/2.0/UDP 198.51.100.10;branch=z9hG4bKfirst\r\n"
      "Via: SIP/2.0/UDP 198.51.100.99;branch=z9hG4bKsecond\r\n"
      "From: <sip:0612345678@sip.example.test>;tag=as58f4\r\n"
      "To: Alice <sip:0123456789@sip.example.test>;tag=4242\r\n"
      "Call-ID: 0123456789ABCDEF0123456789ABCDEF@sip.example.test\r\n"
      "CSeq: 102 BYE\r\n"
      "Content-Length: 0\r\n";
  EXPECT_EQ(SipComposer::ComposeResponse("200 OK", bye, "198.51.100.10"),
            "SIP/2.0 200 OK\r\n"
            "Via: SIP/2.0/UDP 198.51.100.10;branch=z9hG4bKfirst;received=198.51.100.10\r\n"
            "From: <sip:0612345678@sip.example.test>;tag=as58f4\r\n"
            "To: Alice <sip:0123456789@sip.example.test>;tag=4242\r\n"
            "Call-ID: 0123456789ABCDEF0123456789ABCDEF@sip.example.test\r\n"
            "CSeq: 102 BYE\r\n"
            "Content-Length: 0\r\n"
            "\r\n");
}

TEST(ComposeResponseTest, MissingHeadersGiveEmptyValues) {
  EXPECT_EQ(SipComposer::ComposeResponse("200 OK", "BYE sip:x SIP/2.0\r\n", "10.0.0.1"),
            "SIP/2.0 200 OK\r\n"
            "Via:;received=10.0.0.1\r\n"
            "From:\r\n"
            "To:\r\n"
            "Call-ID:\r\n"
            "CSeq:\r\n"
            "Content-Length: 0\r\n"
            "\r\n");
}

TEST(SdpOfferTest, OffersALawOnlyOnTheLastPort) {
  EXPECT_EQ(BuildSdpOffer(4294967295u, 0, "192.0.2.2", 65535),
            "v=0\r\n"
            "o=Telvarion 4294967295 0 IN IP4 192.0.2.2\r\n"
            "s=SIP Call\r\n"
            "c=IN IP4 192.0.2.2\r\n"
            "t=0 0\r\n"
            "m=audio 65535 RTP/AVP 8\r\n"
            "b=AS:64\r\n"
            "a=rtpmap:8 PCMA/8000/1\r\n"
            "a=ptime:30\r\n");
  EXPECT_NE(BuildSdpOffer(1, 2, "a", 0).find("m=audio 0 RTP/AVP 8\r\n"), std::string::npos);
}

}  // namespace
}  // namespace sip
