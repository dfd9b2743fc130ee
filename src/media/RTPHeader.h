// The fixed RTP header (RFC 3550 section 5.1) in host form, and its 12-byte wire form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace media {

inline constexpr std::size_t kRtpHeaderSize = 12;
inline constexpr std::uint8_t kRtpVersion = 2;
// G.711 A-law, 8000 Hz (RFC 3551): the only payload type the system sends or plays.
inline constexpr std::uint8_t kPayloadTypePCMA = 8;

// A plain record: decoded from untrusted datagrams field by field, never overlaid on them.
struct TRTPHeader {
  std::uint8_t Version = 0;
  bool Padding = false;
  bool Extension = false;
  std::uint8_t CSRCCount = 0;  // 0..15
  bool Marker = false;
  std::uint8_t PayloadType = 0;  // 0..127
  std::uint16_t SequenceNumber = 0;
  std::uint32_t Timestamp = 0;
  std::uint32_t SSRC = 0;
};

// 12 bytes, numbers most significant byte first. Values wider than their wire field
// (Version above 3, CSRCCount above 15, PayloadType above 127) are cut to the field.
std::string EncodeHeader(const TRTPHeader& header);
// The inverse of EncodeHeader on the first 12 bytes; a shorter datagram gives a header whose
// fields are all zero (so Version 0). The CSRC list, extension and padding are not parsed.
TRTPHeader DecodeHeader(std::string_view datagram);

}  // namespace media
