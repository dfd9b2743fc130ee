// tshark, an independent SIP and SDP decoder, reads every request the composer writes and the
// response to a BYE; none may decode as malformed.
#include <gtest/gtest.h>

#include "sip/SdpOffer.h"
#include "sip/SipComposer.h"
#include "support/Command.h"
#include "support/Pcap.h"

namespace sip {
namespace {

struct Decoded {
  std::string Method;
  std::string CSeqMethod;
  std::string CSeqNumber;
  std::string StatusCode;
  std::string MediaPort;
  std::string Malformed;
  std::string Expert;  // tshark's first expert remark, if any
};

std::vector<Decoded> DecodeWithTshark(const std::vector<std::string>& messages) {
  testsupport::TemporaryDirectory folder;
  std::vector<testsupport::CapturedDatagram> datagrams;
  for (const std::string& message : messages)
    datagrams.push_back({message, 5060, 5060});
  const std::string pcap = folder.Path() + "/sip.pcap";
  testsupport::WritePcap(pcap, datagrams);
  const auto result = testsupport::RunCommand(
      "tshark -n -r '" + pcap +
      "' -T fields -E separator='|' -E occurrence=f -e sip.Method -e sip.CSeq.method "
      "-e sip.CSeq.seq -e sip.Status-Code -e sdp.media.port -e _ws.malformed "
      "-e _ws.expert.message 2>/dev/null");
  EXPECT_EQ(result.ExitCode, 0) << result.Output;
  std::vector<Decoded> rows;
  std::size_t start = 0;
  while (start < result.Output.size()) {
    const std::size_t end = result.Output.find('\n', start);
    const std::string line = result.Output.substr(start, end - start);
    start = end == std::string::npos ? result.Output.size() : end + 1;
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t bar; (bar = line.find('|', from)) != std::string::npos; from = bar + 1) {
      fields.push_back(line.substr(from, bar - from));
    }
    fields.push_back(line.substr(from));
    fields.resize(7);
    rows.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]});
  }
  return rows;
}

TEST(TsharkOracleTest, EveryComposedMessageDecodesAsSip) {
  ASSERT_TRUE(testsupport::HaveProgram("tshark")) << "tshark is installed by scripts/test";
  SipComposer composer;
  composer.SetAccount("Alice", "sip.example.test", "0123456789", 4242);
  composer.RequestURI = "sip:sip.example.test";
  composer.RequestTo = "Alice <sip:0123456789@sip.example.test>";
  std::vector<std::string> messages;
  messages.push_back(composer.NewRequest("REGISTER", composer.RequestTo, "", ""));
  composer.RequestURI = "sip:0612345678@sip.example.test";
  composer.RequestTo = "<" + composer.RequestURI + ">";
  messages.push_back(composer.NewRequest("INVITE", composer.RequestTo,
                                         BuildSdpOffer(1, 2, "203.0.113.5", 5004),
                                         std::string(kSdpContentType)));
  messages.push_back(composer.WriteRequest("CANCEL", composer.RequestTo, "", ""));
  composer.RemoteTo = " <sip:0612345678@sip.example.test>;tag=x1";
  messages.push_back(composer.WriteRequest("ACK", composer.RemoteTo, "", ""));
  messages.push_back(composer.NewRequest("BYE", composer.RemoteTo, "", ""));
  composer.Expires = kExpiresUnregister;
  composer.RequestURI = "sip:sip.example.test";
  messages.push_back(composer.NewRequest("REGISTER", composer.RequestTo, "", ""));
  messages.push_back(SipComposer::ComposeResponse(
      "200 OK",
      "BYE sip:0123456789@192.0.2.2 SIP/2.0\r\nVia: SIP/2.0/UDP 198.51.100.10;branch=z9hG4bKb\r\n"
      "From: <sip:0612345678@sip.example.test>;tag=x1\r\nTo: <sip:0123456789@sip.example.test>"
      ";tag=4242\r\nCall-ID: abc@sip.example.test\r\nCSeq: 9 BYE\r\n",
      "198.51.100.10"));

  const std::vector<Decoded> rows = DecodeWithTshark(messages);
  ASSERT_EQ(rows.size(), messages.size());
  struct Expected {
    const char* Method;
    const char* CSeqMethod;
    const char* CSeqNumber;
    const char* Status;
    const char* Port;
  };
  const Expected expected[] = {
      {"REGISTER", "REGISTER", "1", "", ""}, {"INVITE", "INVITE", "2", "", "5004"},
      {"CANCEL", "CANCEL", "2", "", ""},     {"ACK", "ACK", "2", "", ""},
      {"BYE", "BYE", "3", "", ""},           {"REGISTER", "REGISTER", "4", "", ""},
      {"", "BYE", "9", "200", ""},
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(messages[i]);
    EXPECT_EQ(rows[i].Method, expected[i].Method);
    EXPECT_EQ(rows[i].CSeqMethod, expected[i].CSeqMethod);
    EXPECT_EQ(rows[i].CSeqNumber, expected[i].CSeqNumber);
    EXPECT_EQ(rows[i].StatusCode, expected[i].Status);
    EXPECT_EQ(rows[i].MediaPort, expected[i].Port);
    EXPECT_EQ(rows[i].Malformed, "");
    EXPECT_EQ(rows[i].Expert, "");
  }
}

// The check above must be able to fail: a header without its colon is reported malformed.
TEST(TsharkOracleTest, TheOracleNoticesABrokenMessage) {
  ASSERT_TRUE(testsupport::HaveProgram("tshark"));
  const std::vector<Decoded> rows = DecodeWithTshark(
      {"SIP/2.0 200 OK\r\nVia SIP/2.0/UDP x\r\nCSeq: 1 BYE\r\nContent-Length: 0\r\n\r\n"});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].StatusCode, "200");
  EXPECT_NE(rows[0].Malformed, "");
  EXPECT_NE(rows[0].Expert, "");
}

}  // namespace
}  // namespace sip
