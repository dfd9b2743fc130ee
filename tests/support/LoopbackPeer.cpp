#include "support/LoopbackPeer.h"

#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>

namespace testsupport {

namespace {

sockaddr_in Loopback(std::uint16_t port) {
  return {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
}

}  // namespace

LoopbackPeer::LoopbackPeer(std::uint16_t port) : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
  sockaddr_in address = Loopback(port);
  socklen_t length = sizeof address;
  if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd_);
    throw std::runtime_error("loopback peer: no socket");
  }
  port_ = ntohs(address.sin_port);
}

LoopbackPeer::~LoopbackPeer() {
  close(fd_);
}

void LoopbackPeer::SendTo(std::uint16_t port, const std::string& datagram) const {
  const sockaddr_in to = Loopback(port);
  if (sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to) != static_cast<ssize_t>(datagram.size())) {
    throw std::runtime_error("loopback peer: send failed");
  }
}

std::optional<std::string> LoopbackPeer::Receive(std::chrono::milliseconds timeout) const {
  pollfd ready{fd_, POLLIN, 0};
  std::string datagram(65536, '\0');
  if (poll(&ready, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const ssize_t got = recvfrom(fd_, datagram.data(), datagram.size(), 0,
                               reinterpret_cast<sockaddr*>(&from), &length);
  if (got < 0) return std::nullopt;
  lastSender_ = ntohs(from.sin_port);
  datagram.resize(static_cast<std::size_t>(got));
  return datagram;
}

std::uint16_t FreePortPair() {
  std::vector<std::uint16_t> ports;
  {
    // Twenty different ports, held together while they are drawn, let go to be tried.
    std::vector<std::unique_ptr<LoopbackPeer>> held;
    while (held.size() < 20)
      ports.push_back(held.emplace_back(new LoopbackPeer)->Port());
  }
  for (const std::uint16_t port : ports) {
    try {
      const LoopbackPeer rtp(port), rtcp(static_cast<std::uint16_t>(port + 1));
      return port;
    } catch (const std::runtime_error&) {
    }
  }
  throw std::runtime_error("no two free ports in a row");
}

}  // namespace testsupport
