// Reading received SIP datagrams: framing into a header block and a body, and the plain,
// case-sensitive header look-up the engine relies on. All functions take untrusted text and
// never read outside it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sip {

// The provider's server sends this datagram to keep NAT bindings open; it is ignored.
inline constexpr std::string_view kKeepAlivePrefix = "Cirpack KeepAlive Packet";
inline constexpr std::string_view kBlankLine = "\r\n\r\n";
inline constexpr std::string_view kContentLengthName = "Content-Length: ";

enum class FrameResult {
  kKeepAlive,        // nothing changed
  kNoBlankLine,      // dropped; the previous header block stays
  kNoContentLength,  // dropped; the header block was already replaced
  kBodyTooShort,     // dropped; the header block was already replaced
  kMessage,          // `receiveBuffer` now holds the body
};

// Frames the datagram held in `receiveBuffer`. The header block runs from the first character
// to the CR LF that ends the last header line.
FrameResult FrameDatagram(std::string& receiveBuffer, std::string& headerBlock);

// The raw text after "CRLF name:" up to the next CR (leading blanks kept); empty when absent.
// The first line and compact or differently capitalised names are never matched.
std::string GetHeader(const std::string& headerBlock, std::string_view name);

// The decimal number starting at the 1-based position; 0 without a digit. Saturates at
// 2^32 - 1 instead of overflowing.
std::uint32_t ReadNumber(const std::string& headerBlock, std::size_t position);

// The status code of a response's status line, when the line begins with "SIP/2.0 " and the
// code lies from 100 to 699.
std::optional<int> ParseStatusCode(const std::string& headerBlock);

// Whether the header block is a BYE request, the one request the engine answers.
bool IsByeRequest(const std::string& headerBlock);

// Whether the message's first Call-ID header (long or compact form, any case) holds exactly
// `callID`. Every answer and every request of our dialogs carries the engine's own; anything
// else on the port is a stray or forged datagram.
bool CarriesCallID(std::string_view headerBlock, std::string_view callID);

}  // namespace sip
