#include "platform/Address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>

#include <fstream>
#include <sstream>

namespace platform {

namespace {

std::uint32_t LookUpName(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* results = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &results) != 0 || results == nullptr) {
    return kNoAddress;
  }
  const auto* first = reinterpret_cast<const sockaddr_in*>(results->ai_addr);
  const std::uint32_t address = first->sin_addr.s_addr;
  freeaddrinfo(results);
  return address;
}

std::vector<InterfaceAddress> ListInterfaceAddresses() {
  std::vector<InterfaceAddress> list;
  ifaddrs* head = nullptr;
  if (getifaddrs(&head) != 0) return list;
  for (const ifaddrs* entry = head; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_UP) == 0) continue;
    InterfaceAddress item;
    item.Interface = entry->ifa_name;
    item.Address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr;
    item.Loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
    list.push_back(item);
  }
  freeifaddrs(head);
  return list;
}

// The interface of the IPv4 default route, from the kernel's routing table.
std::optional<std::string> DefaultRouteInterface() {
  std::ifstream routes("/proc/net/route");
  std::string line;
  std::getline(routes, line);  // column titles
  while (std::getline(routes, line)) {
    std::istringstream fields(line);
    std::string name, destination, gateway, flags, refCount, use, metric, mask;
    if (!(fields >> name >> destination >> gateway >> flags >> refCount >> use >> metric >> mask)) {
      continue;
    }
    if (destination == "00000000" && mask == "00000000") return name;
  }
  return std::nullopt;
}

}  // namespace

std::uint32_t ResolveAddress(const std::string& host) {
  if (host.empty()) return kNoAddress;
  const in_addr_t dotted = inet_addr(host.c_str());
  if (dotted != kNoAddress) return dotted;
  return LookUpName(host);
}

std::string AddressToText(std::uint32_t networkOrderAddress) {
  in_addr address{};
  address.s_addr = networkOrderAddress;
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

std::uint32_t ChooseLocalAddress(const std::vector<InterfaceAddress>& interfaces,
                                 const std::optional<std::string>& defaultRouteInterface) {
  if (defaultRouteInterface) {
    for (const InterfaceAddress& item : interfaces) {
      if (item.Interface == *defaultRouteInterface && !item.Loopback) return item.Address;
    }
  }
  for (const InterfaceAddress& item : interfaces) {
    if (!item.Loopback) return item.Address;
  }
  for (const InterfaceAddress& item : interfaces) {
    if (item.Loopback) return item.Address;
  }
  return kNoAddress;
}

std::uint32_t GetLocalAddress() {
  return ChooseLocalAddress(ListInterfaceAddresses(), DefaultRouteInterface());
}

}  // namespace platform
