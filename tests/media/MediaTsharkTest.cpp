// tshark, an independent RTP and RTCP decoder, reads the datagrams of one call as the remote
// party received them on loopback: the empty first packet, audio frames and the BYE.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "MediaPeers.h"
#include "media/DTMF.h"
#include "media/G711.h"
#include "media/RtcpClient.h"
#include "support/Command.h"
#include "support/Pcap.h"

namespace media {
namespace {

using namespace std::chrono_literals;

std::vector<std::vector<std::string>> DecodeWithTshark(
    const std::vector<testsupport::CapturedDatagram>& datagrams, const std::string& fields) {
  testsupport::TemporaryDirectory folder;
  const std::string pcap = folder.Path() + "/media.pcap";
  testsupport::WritePcap(pcap, datagrams);
  const auto result = testsupport::RunCommand(
      "tshark -n -r '" + pcap +
      "' -d udp.port==5004,rtp -d udp.port==5005,rtcp -T fields -E separator='|' "
      "-E occurrence=f " +
      fields + " 2>/dev/null");
  EXPECT_EQ(result.ExitCode, 0) << result.Output;
  std::vector<std::vector<std::string>> rows;
  std::size_t start = 0;
  while (start < result.Output.size()) {
    const std::size_t end = result.Output.find('\n', start);
    const std::string line = result.Output.substr(start, end - start);
    start = end == std::string::npos ? result.Output.size() : end + 1;
    std::vector<std::string> row;
    std::size_t from = 0;
    for (std::size_t bar; (bar = line.find('|', from)) != std::string::npos; from = bar + 1)
      row.push_back(line.substr(from, bar - from));
    row.push_back(line.substr(from));
    rows.push_back(row);
  }
  return rows;
}

constexpr std::uint16_t kRemotePort = 40000;  // as written in the capture
const char* const kFields =
    "-e rtp.version -e rtp.p_type -e rtp.seq -e rtp.ssrc -e rtp.marker -e udp.length "
    "-e rtcp.version -e rtcp.pt -e rtcp.sc -e rtcp.length -e rtcp.ssrc.identifier "
    "-e rtcp.sdes.text -e _ws.malformed -e _ws.expert.message";
enum Field {
  kRtpVersion,
  kRtpType,
  kRtpSequence,
  kRtpSsrc,
  kRtpMarker,
  kUdpLength,
  kRtcpVersion,
  kRtcpType,
  kRtcpSources,
  kRtcpLength,
  kRtcpSsrc,
  kRtcpReason,
  kMalformed,
  kExpert,
  kFieldCount
};

std::string Hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}

TEST(MediaTsharkTest, OneCallDecodesAsRtpAndRtcp) {
  ASSERT_TRUE(testsupport::HaveProgram("tshark")) << "tshark is installed by scripts/test";
  const std::uint16_t local = testing::FreePortPair();
  const std::uint16_t remote = testing::FreePortPair();
  testing::PortPeer remoteRtp(remote);
  testing::PortPeer remoteRtcp(static_cast<std::uint16_t>(remote + 1));
  TRTPClient rtp(local);
  TRTCPClient rtcp(rtp);
  rtcp.SetRemote("127.0.0.1", remote);
  rtcp.Start();
  rtp.Send(kPayloadTypePCMA, ALawEncode(std::string(480, '\0')));
  rtp.Send(kPayloadTypePCMA, ALawEncode(DTMFTone(1, kDTMFBurstBytes)));
  rtp.Send(kPayloadTypePCMA, ALawEncode(DTMFTone(15, kDTMFBurstBytes)));
  rtcp.Stop();  // the remote party is silent: one BYE

  // What arrived on loopback, written down as the fixed ports would carry it.
  std::vector<testsupport::CapturedDatagram> datagrams;
  while (const auto datagram = remoteRtp.Receive(200ms))
    datagrams.push_back({*datagram, kRtpPort, kRemotePort});
  while (const auto datagram = remoteRtcp.Receive(200ms))
    datagrams.push_back({*datagram, kRtpPort + 1, kRemotePort + 1});
  ASSERT_EQ(datagrams.size(), 5u);

  const auto rows = DecodeWithTshark(datagrams, kFields);
  ASSERT_EQ(rows.size(), 5u);
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    auto row = rows[i];
    row.resize(kFieldCount);
    EXPECT_EQ(row[kRtpVersion], "2");
    EXPECT_EQ(row[kRtpType], "8");
    EXPECT_EQ(row[kRtpSequence], std::to_string(i));
    EXPECT_EQ(row[kRtpSsrc], Hex32(rtp.SSRC));
    EXPECT_EQ(row[kRtpMarker], "0");
    // UDP header 8 + RTP header 12 + payload: none in the first packet, then 240 bytes.
    EXPECT_EQ(row[kUdpLength], i == 0 ? "20" : "260");
    EXPECT_EQ(row[kRtcpType], "");
    EXPECT_EQ(row[kMalformed], "");
    EXPECT_EQ(row[kExpert], "");
  }
  auto bye = rows[4];
  bye.resize(kFieldCount);
  EXPECT_EQ(bye[kRtpVersion], "");
  EXPECT_EQ(bye[kRtcpVersion], "2");
  EXPECT_EQ(bye[kRtcpType], "203");
  EXPECT_EQ(bye[kRtcpSources], "1");
  EXPECT_EQ(bye[kRtcpLength], "2");
  EXPECT_EQ(bye[kRtcpSsrc], Hex32(rtp.SSRC));
  EXPECT_EQ(bye[kRtcpReason], "BYE");
  EXPECT_EQ(bye[kMalformed], "");
  EXPECT_EQ(bye[kExpert], "");
}

// The check above must be able to fail: a BYE whose length field claims more than the
// datagram holds draws tshark's warning.
TEST(MediaTsharkTest, TheOracleNoticesABrokenBye) {
  ASSERT_TRUE(testsupport::HaveProgram("tshark"));
  std::string bye = BuildBye(0x01020304);
  bye[3] = 5;
  const auto rows = DecodeWithTshark({{bye, kRtpPort + 1, kRemotePort + 1}}, kFields);
  ASSERT_EQ(rows.size(), 1u);
  auto row = rows[0];
  row.resize(kFieldCount);
  EXPECT_EQ(row[kRtcpType], "203");
  EXPECT_NE(row[kMalformed] + row[kExpert], "");
}

}  // namespace
}  // namespace media
