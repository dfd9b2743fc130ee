#include "net/StunMessage.h"

#include <cstring>

namespace net {

namespace {

constexpr std::size_t kAttributeHeaderLength = 4;
constexpr std::uint16_t kMappedAddressLength = 8;
constexpr std::uint16_t kFamilyIPv4 = 0x0001;  // after a zero byte

std::uint16_t Read16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>((static_cast<std::uint8_t>(bytes[at]) << 8) |
                                    static_cast<std::uint8_t>(bytes[at + 1]));
}

void Put16(std::string& bytes, std::uint16_t value) {
  bytes += static_cast<char>(value >> 8);
  bytes += static_cast<char>(value & 0xFF);
}

}  // namespace

std::string BuildBindingRequest(const std::string& transactionID) {
  std::string request;
  Put16(request, kStunBindingRequest);
  Put16(request, 0);
  request += transactionID;
  return request;
}

std::optional<platform::Endpoint> ParseBindingResponse(const std::string& datagram,
                                                       const std::string& transactionID) {
  if (datagram.size() < kStunHeaderLength) return std::nullopt;
  if (datagram.compare(4, kStunTransactionIDLength, transactionID) != 0) return std::nullopt;
  if (Read16(datagram, 0) != kStunBindingResponse) return std::nullopt;
  const std::size_t length = Read16(datagram, 2);
  if (datagram.size() < length + kStunHeaderLength) return std::nullopt;
  if (length <= kAttributeHeaderLength) return std::nullopt;

  std::size_t position = kStunHeaderLength;
  long remaining = static_cast<long>(length);
  do {
    if (position + kAttributeHeaderLength > datagram.size()) return std::nullopt;
    const std::uint16_t type = Read16(datagram, position);
    const std::uint16_t valueLength = Read16(datagram, position + 2);
    position += kAttributeHeaderLength;
    remaining -= static_cast<long>(valueLength) + static_cast<long>(kAttributeHeaderLength);
    // A value that would run past the datagram ends the walk: the datagram is not trusted.
    if (position + valueLength > datagram.size()) return std::nullopt;
    if (type == kStunMappedAddress && valueLength == kMappedAddressLength &&
        Read16(datagram, position) == kFamilyIPv4) {
      platform::Endpoint mapped;
      mapped.Port = Read16(datagram, position + 2);
      // Kept in network order: the four bytes go into memory exactly as they stood.
      std::memcpy(&mapped.Address, datagram.data() + position + 4, sizeof mapped.Address);
      return mapped;
    }
    position += valueLength;
  } while (remaining > static_cast<long>(kAttributeHeaderLength));
  return std::nullopt;
}

}  // namespace net
