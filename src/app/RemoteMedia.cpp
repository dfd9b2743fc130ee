#include "app/RemoteMedia.h"

namespace app {
namespace {

constexpr std::string_view kMediaLine = "m=audio ";
constexpr std::string_view kConnectionLine = "c=IN IP4 ";
constexpr std::uint32_t kLargestPort = 65535;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::uint16_t ReadPort(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  std::uint32_t value = 0;
  bool tooLarge = false;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    // Stops growing past the largest port, so that a long run of digits cannot overflow; the
    // digits are still read to their end, as they are one number.
    if (!tooLarge) {
      value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
      tooLarge = value > kLargestPort;
    }
  }
  // A number that is no port is as unreadable as letters.
  return tooLarge ? 0 : static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<TRemoteMedia> ReadRemoteMedia(std::string_view sdp) {
  const std::size_t media = sdp.find(kMediaLine);
  if (media == std::string_view::npos) return std::nullopt;
  const std::size_t connection = sdp.find(kConnectionLine);
  if (connection == std::string_view::npos) return std::nullopt;

  TRemoteMedia remote;
  remote.Port = ReadPort(sdp.substr(media + kMediaLine.size()));
  // A line that ends in a bare line feed (or the text's end) ends the address there too;
  // searching on for a carriage return would take the following lines into the address.
  const std::string_view rest = sdp.substr(connection + kConnectionLine.size());
  remote.Address = std::string(rest.substr(0, rest.find_first_of("\r\n")));
  return remote;
}

}  // namespace app
