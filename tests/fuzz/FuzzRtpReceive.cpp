// The receive filter of the RTP socket, for A-law and for the type the datagram carries (so
// that accepting is exercised as much as rejecting); then the input as a run of datagrams from
// four senders (a byte of sender and time step, a byte of length, the datagram) through the
// stream latch that picks the one stream played.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "FuzzCheck.h"
#include "media/RtcpClient.h"
#include "media/RtpHeader.h"
#include "media/StreamLatch.h"

namespace {

void CheckFilter(std::string_view datagram, std::uint8_t payloadType) {
  const std::string_view payload = media::AcceptedPayload(datagram, payloadType);
  if (payload.empty()) return;
  FUZZ_CHECK(datagram.size() > media::kRtpHeaderSize);
  FUZZ_CHECK((static_cast<std::uint8_t>(datagram[0]) >> 6) == media::kRtpVersion);
  FUZZ_CHECK((static_cast<std::uint8_t>(datagram[1]) & 0x7F) == payloadType);
  FUZZ_CHECK(payload.data() == datagram.data() + media::kRtpHeaderSize);
  FUZZ_CHECK(payload.size() == datagram.size() - media::kRtpHeaderSize);
}

// The first stream heard is played and kept; another is taken only after the played one was
// quiet for kStreamQuiet, and only with the packet that follows one it sent before.
void CheckLatch(std::string_view input) {
  using std::chrono::milliseconds;
  using Stream = std::pair<std::uint64_t, std::uint32_t>;  // source, SSRC
  media::TStreamLatch latch;
  media::TStreamLatch::Clock::time_point now{};
  std::optional<Stream> played;
  media::TStreamLatch::Clock::time_point playedAt{};
  std::set<std::pair<Stream, std::uint16_t>> heard;
  for (std::size_t at = 0; at + 2 <= input.size();) {
    const auto control = static_cast<std::uint8_t>(input[at]);
    const std::size_t length =
        std::min<std::size_t>(static_cast<std::uint8_t>(input[at + 1]), input.size() - at - 2);
    const std::string_view datagram = input.substr(at + 2, length);
    at += 2 + length;
    now += milliseconds(10 * (control >> 2));
    if (media::AcceptedPayload(datagram, media::kPayloadTypePCMA).empty()) continue;
    const media::TRTPHeader header = media::DecodeHeader(datagram);
    const Stream stream{control & 3u, header.SSRC};
    const bool accepted = latch.Accept(stream.first, stream.second, header.SequenceNumber, now);
    if (!played || *played == stream) {
      FUZZ_CHECK(accepted);
    } else if (accepted) {
      FUZZ_CHECK(now - playedAt >= media::kStreamQuiet);
      const auto before = static_cast<std::uint16_t>(header.SequenceNumber - 1);
      FUZZ_CHECK(heard.contains({stream, before}));
    }
    if (accepted) {
      played = stream;
      playedAt = now;
    }
    heard.insert({stream, header.SequenceNumber});
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view datagram(reinterpret_cast<const char*>(data), size);
  CheckFilter(datagram, media::kPayloadTypePCMA);
  if (size >= 2) CheckFilter(datagram, static_cast<std::uint8_t>(data[1] & 0x7F));

  const media::TRTPHeader header = media::DecodeHeader(datagram);
  FUZZ_CHECK(header.Version <= 3 && header.CSRCCount <= 15 && header.PayloadType <= 127);
  if (size < media::kRtpHeaderSize) {
    FUZZ_CHECK(header.Version == 0 && header.SSRC == 0 && header.SequenceNumber == 0);
  } else {
    // Decode and encode are inverse on the fixed header.
    FUZZ_CHECK(media::EncodeHeader(header) == datagram.substr(0, media::kRtpHeaderSize));
  }

  // Our own BYE, echoed back to the RTP port, is never played.
  const std::string bye = media::BuildBye(header.SSRC);
  FUZZ_CHECK(media::AcceptedPayload(bye, media::kPayloadTypePCMA).empty());
  FUZZ_CHECK(media::DecodeHeader(bye).Version == media::kRtpVersion);

  CheckLatch(datagram);
  return 0;
}
