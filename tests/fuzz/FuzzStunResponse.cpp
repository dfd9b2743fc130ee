// The Binding Response reader, with the transaction ID taken from the input itself half of
// the time, so that the fuzzer gets past the ID check into the attribute walk.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/StunMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string datagram(reinterpret_cast<const char*>(data), size);
  net::ParseBindingResponse(datagram, "0123456789abcdef");
  if (size >= net::kStunHeaderLength) {
    net::ParseBindingResponse(datagram, datagram.substr(4, net::kStunTransactionIDLength));
  }
  return 0;
}
