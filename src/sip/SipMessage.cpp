#include "sip/SipMessage.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace sip {

namespace {

constexpr std::string_view kStatusLinePrefix = "SIP/2.0 ";
constexpr std::size_t kStatusCodePosition = kStatusLinePrefix.size() + 1;
constexpr int kLowestStatus = 100;
constexpr int kHighestStatus = 699;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

FrameResult FrameDatagram(std::string& receiveBuffer, std::string& headerBlock) {
  if (receiveBuffer.starts_with(kKeepAlivePrefix)) return FrameResult::kKeepAlive;
  const std::size_t blank = receiveBuffer.find(kBlankLine);
  if (blank == std::string::npos) return FrameResult::kNoBlankLine;
  headerBlock.assign(receiveBuffer, 0, blank + 2);

  std::size_t lengthAt = headerBlock.find(kContentLengthName);
  if (lengthAt == std::string::npos) return FrameResult::kNoContentLength;
  lengthAt += kContentLengthName.size();
  // RFC 3261 allows more blanks before the number, and real peers pad it.
  while (lengthAt < headerBlock.size() && IsBlank(headerBlock[lengthAt]))
    ++lengthAt;
  const std::uint32_t length = ReadNumber(headerBlock, lengthAt + 1);

  const std::size_t bodyStart = blank + kBlankLine.size();
  if (receiveBuffer.size() - bodyStart < length) return FrameResult::kBodyTooShort;
  receiveBuffer = receiveBuffer.substr(bodyStart, length);
  return FrameResult::kMessage;
}

std::string GetHeader(const std::string& headerBlock, std::string_view name) {
  std::string pattern = "\r\n";
  pattern += name;
  pattern += ':';
  const std::size_t found = headerBlock.find(pattern);
  if (found == std::string::npos) return {};
  const std::size_t valueStart = found + pattern.size();
  const std::size_t valueEnd = headerBlock.find('\r', valueStart);
  return headerBlock.substr(
      valueStart, valueEnd == std::string::npos ? std::string::npos : valueEnd - valueStart);
}

std::uint32_t ReadNumber(const std::string& headerBlock, std::size_t position) {
  constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
  std::uint32_t value = 0;
  for (std::size_t i = position == 0 ? 0 : position - 1;
       i < headerBlock.size() && IsDigit(headerBlock[i]); ++i) {
    const auto digit = static_cast<std::uint32_t>(headerBlock[i] - '0');
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return value;
}

std::optional<int> ParseStatusCode(const std::string& headerBlock) {
  if (!headerBlock.starts_with(kStatusLinePrefix)) return std::nullopt;
  const std::uint32_t code = ReadNumber(headerBlock, kStatusCodePosition);
  if (code < kLowestStatus || code > kHighestStatus) return std::nullopt;
  return static_cast<int>(code);
}

bool IsByeRequest(const std::string& headerBlock) {
  return headerBlock.starts_with("BYE ");
}

namespace {

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

}  // namespace

bool CarriesCallID(std::string_view headerBlock, std::string_view callID) {
  std::size_t lineStart = headerBlock.find("\r\n");
  while (lineStart != std::string_view::npos) {
    lineStart += 2;
    const std::size_t lineEnd = headerBlock.find("\r\n", lineStart);
    const std::string_view line =
        headerBlock.substr(lineStart, lineEnd == std::string_view::npos ? std::string_view::npos
                                                                        : lineEnd - lineStart);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos) {
      const std::string_view name = TrimBlanks(line.substr(0, colon));
      if (SameNameIgnoringCase(name, "Call-ID") || SameNameIgnoringCase(name, "i"))
        return TrimBlanks(line.substr(colon + 1)) == callID;
    }
    lineStart = lineEnd;
  }
  return false;
}

}  // namespace sip
