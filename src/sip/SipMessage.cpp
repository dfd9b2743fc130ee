#include "sip/SipMessage.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <utility>

namespace sip {

namespace {

constexpr std::string_view kCRLF = "\r\n";
constexpr std::string_view kStatusLinePrefix = "SIP/2.0 ";
constexpr std::string_view kRequestLineSuffix = " SIP/2.0";
constexpr std::size_t kStatusCodePosition = kStatusLinePrefix.size() + 1;
constexpr int kLowestStatus = 100;
constexpr int kHighestStatus = 699;
// RFC 3261 7.3.3.
constexpr std::pair<std::string_view, std::string_view> kCompactForms[] = {
    {"Call-ID", "i"}, {"Content-Length", "l"}, {"From", "f"},   {"To", "t"},
    {"Via", "v"},     {"Content-Type", "c"},   {"Contact", "m"}};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

bool NameIs(std::string_view written, std::string_view name) {
  if (SameNameIgnoringCase(written, name)) return true;
  for (const auto& [full, compact] : kCompactForms)
    if (SameNameIgnoringCase(name, full)) return SameNameIgnoringCase(written, compact);
  return false;
}

// Calls `take` with the raw value of each header named `name`, in order, until it returns false.
template <typename Take>
void ForEachValue(std::string_view block, std::string_view name, Take&& take) {
  for (std::size_t at = block.find(kCRLF); at != std::string_view::npos;) {
    at += kCRLF.size();
    std::string_view line = block.substr(at);
    line = line.substr(0, line.find('\r'));
    const std::size_t colon = line.find(':');
    // A line that begins with a blank continues the one before: it names no header.
    if (colon != std::string_view::npos && !line.empty() && !IsBlank(line.front())) {
      std::string_view written = line.substr(0, colon);
      while (!written.empty() && IsBlank(written.back()))
        written.remove_suffix(1);
      if (NameIs(written, name) && !take(line.substr(colon + 1))) return;
    }
    at = block.find(kCRLF, at);
  }
}

std::optional<std::string_view> FirstValue(std::string_view block, std::string_view name) {
  std::optional<std::string_view> found;
  ForEachValue(block, name, [&](std::string_view value) {
    found = value;
    return false;
  });
  return found;
}

}  // namespace

FrameResult FrameDatagram(std::string& receiveBuffer, std::string& headerBlock) {
  if (receiveBuffer.starts_with(kKeepAlivePrefix)) return FrameResult::kKeepAlive;
  const std::size_t blank = receiveBuffer.find(kBlankLine);
  if (blank == std::string::npos) return FrameResult::kNoBlankLine;
  headerBlock.assign(receiveBuffer, 0, blank + 2);

  const std::size_t bodyStart = blank + kBlankLine.size();
  std::size_t length = receiveBuffer.size() - bodyStart;
  if (const auto value = FirstValue(headerBlock, "Content-Length")) {
    // RFC 3261 allows blanks before the number, and real peers pad it.
    const std::string_view number = TrimBlanks(*value);
    length = ReadNumber(number, 1);
    if (receiveBuffer.size() - bodyStart < length) return FrameResult::kBodyTooShort;
  }
  receiveBuffer = receiveBuffer.substr(bodyStart, length);
  return FrameResult::kMessage;
}

std::string GetHeader(const std::string& headerBlock, std::string_view name) {
  return std::string(FirstValue(headerBlock, name).value_or(""));
}

std::vector<std::string> GetHeaders(std::string_view headerBlock, std::string_view name) {
  std::vector<std::string> values;
  ForEachValue(headerBlock, name, [&](std::string_view value) {
    values.emplace_back(value);
    return true;
  });
  return values;
}

std::uint32_t ReadNumber(std::string_view headerBlock, std::size_t position) {
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

std::string_view RequestMethod(std::string_view headerBlock) {
  const std::string_view line = headerBlock.substr(0, headerBlock.find(kCRLF));
  const std::size_t space = line.find(' ');
  if (space == 0 || space == std::string_view::npos || !line.ends_with(kRequestLineSuffix)) {
    return {};
  }
  const std::string_view uri =
      line.substr(space + 1, line.size() - space - 1 - kRequestLineSuffix.size());
  if (uri.empty() || uri.find(' ') != std::string_view::npos) return {};
  return line.substr(0, space);
}

std::optional<TCSeq> ParseCSeq(std::string_view headerBlock) {
  const auto value = FirstValue(headerBlock, "CSeq");
  if (!value) return std::nullopt;
  std::string_view text = TrimBlanks(*value);
  const std::size_t digits = text.find_first_not_of("0123456789");
  if (digits == 0 || digits == std::string_view::npos) return std::nullopt;
  TCSeq cseq{ReadNumber(text, 1), std::string(TrimBlanks(text.substr(digits)))};
  if (cseq.Method.empty() || !IsBlank(text[digits])) return std::nullopt;
  return cseq;
}

std::string HeaderParameter(std::string_view value, std::string_view name) {
  // Parameters follow the address; a ';' inside the <...> of the URI is the URI's own.
  const std::size_t addressEnd = value.find('>');
  std::size_t at = addressEnd == std::string_view::npos ? 0 : addressEnd;
  while ((at = value.find(';', at)) != std::string_view::npos) {
    ++at;
    const std::size_t end = value.find_first_of(";,", at);
    const std::string_view parameter =
        value.substr(at, end == std::string_view::npos ? end : end - at);
    const std::size_t equals = parameter.find('=');
    if (equals != std::string_view::npos &&
        SameNameIgnoringCase(TrimBlanks(parameter.substr(0, equals)), name)) {
      return std::string(TrimBlanks(parameter.substr(equals + 1)));
    }
  }
  return {};
}

bool CarriesCallID(std::string_view headerBlock, std::string_view callID) {
  const auto value = FirstValue(headerBlock, "Call-ID");
  return value && TrimBlanks(*value) == callID;
}

}  // namespace sip
