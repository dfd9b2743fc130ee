// The receive side of the RTP socket: the filter, for A-law and for the type the datagram
// carries (so that accepting is exercised as much as rejecting), the header reader, and the
// stream latch fed the input as a run of datagrams from four senders (a byte of sender and time
// step, a byte of length, the datagram). Which stream it picks, the unit tests tell.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "media/RTCPClient.h"
#include "media/RTPHeader.h"
#include "media/StreamLatch.h"

namespace {

void CheckFilter(std::string_view datagram, std::uint8_t payloadType) {
  const std::string_view payload = media::AcceptedPayload(datagram, payloadType);
  FUZZ_CHECK(payload.empty() ||
             payload.data() + payload.size() == datagram.data() + datagram.size());
}

void FeedLatch(std::string_view input) {
  media::TStreamLatch latch;
  media::TStreamLatch::Clock::time_point now{};
  for (std::size_t at = 0; at + 2 <= input.size();) {
    const auto control = static_cast<std::uint8_t>(input[at]);
    const std::size_t length =
        std::min<std::size_t>(static_cast<std::uint8_t>(input[at + 1]), input.size() - at - 2);
    const std::string_view datagram = input.substr(at + 2, length);
    at += 2 + length;
    now += std::chrono::milliseconds(10 * (control >> 2));
    if (media::AcceptedPayload(datagram, media::kPayloadTypePCMA).empty()) continue;
    const media::TRTPHeader header = media::DecodeHeader(datagram);
    latch.Accept(control & 3u, header.SSRC, header.SequenceNumber, now);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view datagram(reinterpret_cast<const char*>(data), size);
  CheckFilter(datagram, media::kPayloadTypePCMA);
  if (size >= 2) CheckFilter(datagram, static_cast<std::uint8_t>(data[1] & 0x7F));
  const media::TRTPHeader header = media::DecodeHeader(datagram);
  if (size >= media::kRtpHeaderSize) {
    // Decode and encode are inverse on the fixed header.
    FUZZ_CHECK(media::EncodeHeader(header) == datagram.substr(0, media::kRtpHeaderSize));
  }
  // Our own BYE, echoed back to the RTP port, is never played.
  FUZZ_CHECK(media::AcceptedPayload(media::BuildBye(header.SSRC), media::kPayloadTypePCMA).empty());
  FeedLatch(datagram);
  return 0;
}
