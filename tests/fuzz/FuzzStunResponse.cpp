// The Binding Response reader, with the transaction ID taken from the input itself half of
// the time, so that the fuzzer gets past the ID check into the attribute walk.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "net/StunMessage.h"

namespace {

// A mapped address can only come from a whole attribute inside the message: type 1, length
// 8, family 1, then the port and the address exactly as they stand on the wire.
void CheckMapped(const std::string& datagram, const net::MappedAddress& mapped) {
  FUZZ_CHECK(datagram.size() >= net::kStunHeaderLength + 12);
  FUZZ_CHECK(static_cast<std::uint8_t>(datagram[0]) == 0x01 &&
             static_cast<std::uint8_t>(datagram[1]) == 0x01);
  std::string attribute("\x00\x01\x00\x08\x00\x01", 6);
  attribute += static_cast<char>(mapped.Port >> 8);
  attribute += static_cast<char>(mapped.Port & 0xFF);
  attribute.append(reinterpret_cast<const char*>(&mapped.Address), sizeof mapped.Address);
  FUZZ_CHECK(datagram.find(attribute, net::kStunHeaderLength) != std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string datagram(reinterpret_cast<const char*>(data), size);
  const std::string fixedID = "0123456789abcdef";
  if (const auto mapped = net::ParseBindingResponse(datagram, fixedID)) {
    FUZZ_CHECK(datagram.compare(4, net::kStunTransactionIDLength, fixedID) == 0);
    CheckMapped(datagram, *mapped);
  }
  if (size >= net::kStunHeaderLength) {
    const std::string ownID = datagram.substr(4, net::kStunTransactionIDLength);
    if (const auto mapped = net::ParseBindingResponse(datagram, ownID))
      CheckMapped(datagram, *mapped);
    // Our own request is never taken for an answer.
    const std::string request = net::BuildBindingRequest(ownID);
    FUZZ_CHECK(request.size() == net::kStunHeaderLength);
    FUZZ_CHECK(!net::ParseBindingResponse(request, ownID));
  }
  return 0;
}
