// IPv4 address helpers: resolution of the user's host names and the host's own address.
// Addresses are 32-bit numbers in network byte order; all ones means "no address".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

inline constexpr std::uint32_t kNoAddress = 0xFFFFFFFFu;

// Dotted text first (as inet_addr reads it); if that gives all ones (not an address, or
// 255.255.255.255 itself), an IPv4 name look-up whose first answer is taken. Empty text, or a
// name that does not resolve, gives kNoAddress.
std::uint32_t ResolveAddress(const std::string& host);

// The dotted-decimal text of an address in network byte order.
std::string AddressToText(std::uint32_t networkOrderAddress);

struct InterfaceAddress {
  std::string Interface;
  std::uint32_t Address = 0;  // network byte order
  bool Loopback = false;
};

// The choice GetLocalAddress makes among the host's IPv4 interface addresses: the address of
// the interface that carries the default route, else the first non-loopback address, else a
// loopback address, else kNoAddress.
std::uint32_t ChooseLocalAddress(const std::vector<InterfaceAddress>& interfaces,
                                 const std::optional<std::string>& defaultRouteInterface);

// The host's own IPv4 address for the media offer. The host name is not used: on Linux it
// usually resolves to 127.0.1.1, which no peer could send media to.
std::uint32_t GetLocalAddress();

}  // namespace platform
