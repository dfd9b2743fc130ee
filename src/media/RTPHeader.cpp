#include "media/RTPHeader.h"

namespace media {

namespace {

constexpr std::uint8_t kPaddingBit = 0x20;
constexpr std::uint8_t kExtensionBit = 0x10;
constexpr std::uint8_t kMarkerBit = 0x80;

void PutBigEndian(std::string& out, std::size_t offset, std::uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) {
    out[offset + static_cast<std::size_t>(i)] = static_cast<char>(value & 0xFF);
    value >>= 8;
  }
}

// The caller has checked that `bytes` bytes are there.
std::uint32_t GetBigEndian(std::string_view in, std::size_t offset, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    value = (value << 8) | static_cast<unsigned char>(in[offset + static_cast<std::size_t>(i)]);
  }
  return value;
}

}  // namespace

std::string EncodeHeader(const TRTPHeader& header) {
  std::string out(kRtpHeaderSize, '\0');
  std::uint8_t first = static_cast<std::uint8_t>((header.Version << 6) | (header.CSRCCount & 0x0F));
  if (header.Padding) first |= kPaddingBit;
  if (header.Extension) first |= kExtensionBit;
  std::uint8_t second = header.PayloadType & 0x7F;
  if (header.Marker) second |= kMarkerBit;
  out[0] = static_cast<char>(first);
  out[1] = static_cast<char>(second);
  PutBigEndian(out, 2, header.SequenceNumber, 2);
  PutBigEndian(out, 4, header.Timestamp, 4);
  PutBigEndian(out, 8, header.SSRC, 4);
  return out;
}

TRTPHeader DecodeHeader(std::string_view datagram) {
  TRTPHeader header;
  if (datagram.size() < kRtpHeaderSize) return header;
  const auto first = static_cast<std::uint8_t>(datagram[0]);
  const auto second = static_cast<std::uint8_t>(datagram[1]);
  header.Version = static_cast<std::uint8_t>(first >> 6);
  header.Padding = (first & kPaddingBit) != 0;
  header.Extension = (first & kExtensionBit) != 0;
  header.CSRCCount = first & 0x0F;
  header.Marker = (second & kMarkerBit) != 0;
  header.PayloadType = second & 0x7F;
  header.SequenceNumber = static_cast<std::uint16_t>(GetBigEndian(datagram, 2, 2));
  header.Timestamp = GetBigEndian(datagram, 4, 4);
  header.SSRC = GetBigEndian(datagram, 8, 4);
  return header;
}

}  // namespace media
