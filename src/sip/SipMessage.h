// Reading received SIP datagrams: framing into a header block and a body, and the header
// look-ups the engine relies on. All functions take untrusted text and never read outside it.
//
// Header names are matched as RFC 3261 7.3 has them: in any case, with blanks allowed before
// the colon, and the compact forms of 7.3.3 ("i", "l", "f", "t", "v", "c", "m") standing for
// their full names. A header is a line of its own: the first line never is one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sip {

// The provider's server sends this datagram to keep NAT bindings open; it is ignored.
inline constexpr std::string_view kKeepAlivePrefix = "Cirpack KeepAlive Packet";
inline constexpr std::string_view kBlankLine = "\r\n\r\n";
// The methods the engine sends or answers.
inline constexpr std::string_view kMethodRegister = "REGISTER";
inline constexpr std::string_view kMethodInvite = "INVITE";
inline constexpr std::string_view kMethodAck = "ACK";
inline constexpr std::string_view kMethodCancel = "CANCEL";
inline constexpr std::string_view kMethodBye = "BYE";
inline constexpr std::string_view kMethodUpdate = "UPDATE";

enum class FrameResult {
  kKeepAlive,     // nothing changed
  kNoBlankLine,   // dropped; the previous header block stays
  kBodyTooShort,  // dropped; the header block was already replaced
  kMessage,       // `receiveBuffer` now holds the body
};

// Frames the datagram held in `receiveBuffer`. The header block runs from the first character
// to the CR LF that ends the last header line. The body is as long as the first Content-Length
// says; without one it is the rest of the datagram (RFC 3261 18.3, over UDP).
FrameResult FrameDatagram(std::string& receiveBuffer, std::string& headerBlock);

// The raw text after the first header's colon up to the next CR (leading blanks kept); empty
// when absent.
std::string GetHeader(const std::string& headerBlock, std::string_view name);
// The raw values of every header of that name, in order.
std::vector<std::string> GetHeaders(std::string_view headerBlock, std::string_view name);

// The decimal number starting at the 1-based position; 0 without a digit. Saturates at
// 2^32 - 1 instead of overflowing.
std::uint32_t ReadNumber(std::string_view headerBlock, std::size_t position);

// The status code of a response's status line, when the line begins with "SIP/2.0 " and the
// code lies from 100 to 699.
std::optional<int> ParseStatusCode(const std::string& headerBlock);

// Whether the header block is a BYE request, which the engine answers in any state.
bool IsByeRequest(const std::string& headerBlock);
// The method of a request line ("METHOD SP Request-URI SP SIP/2.0"); empty for anything else.
std::string_view RequestMethod(std::string_view headerBlock);

// What a response answers, or a request is: the CSeq header's number and method.
struct TCSeq {
  std::uint32_t Number = 0;
  std::string Method;
  bool operator==(const TCSeq&) const = default;
};
std::optional<TCSeq> ParseCSeq(std::string_view headerBlock);

// The value of the parameter `name` (";tag=...") of a From or To value; empty when absent.
std::string HeaderParameter(std::string_view value, std::string_view name);

// Whether the message's first Call-ID header holds exactly `callID`. Every answer and every
// request of our dialogs carries the engine's own; anything else on the port is a stray or
// forged datagram.
bool CarriesCallID(std::string_view headerBlock, std::string_view callID);

}  // namespace sip
