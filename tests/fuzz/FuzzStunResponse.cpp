// The Binding Response reader, with the transaction ID taken from the input itself half of
// the time, so that the fuzzer gets past the ID check into the attribute walk.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "net/StunMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string datagram(reinterpret_cast<const char*>(data), size);
  const std::string own = size >= net::kStunHeaderLength ? datagram.substr(4, 16) : "";
  for (const std::string& id : {std::string("0123456789abcdef"), own}) {
    const auto mapped = net::ParseBindingResponse(datagram, id);
    if (!mapped) continue;
    // Only from a whole attribute of our answer: type 1, length 8, family 1, the port and the
    // address as they stand on the wire.
    FUZZ_CHECK(datagram.compare(0, 2, "\x01\x01") == 0 && datagram.compare(4, 16, id) == 0);
    std::string attribute("\x00\x01\x00\x08\x00\x01", 6);
    attribute += {static_cast<char>(mapped->Port >> 8), static_cast<char>(mapped->Port & 0xFF)};
    attribute.append(reinterpret_cast<const char*>(&mapped->Address), 4);
    FUZZ_CHECK(datagram.find(attribute, net::kStunHeaderLength) != std::string::npos);
  }
  // Our own request is never taken for an answer.
  FUZZ_CHECK(!net::ParseBindingResponse(net::BuildBindingRequest(own), own));
  return 0;
}
