#include "support/LoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>

namespace testsupport {

namespace {

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

LoopbackPeer::LoopbackPeer() : LoopbackPeer(0) {}

LoopbackPeer::LoopbackPeer(std::uint16_t port) : fd_(socket(AF_INET, SOCK_DGRAM, 0)), port_(0) {
  sockaddr_in address = Loopback(port);
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (fd_ >= 0) close(fd_);
    throw std::runtime_error("loopback peer: no socket");
  }
  socklen_t length = sizeof address;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
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
  if (poll(&ready, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
  std::string datagram(65536, '\0');
  const ssize_t got = recv(fd_, datagram.data(), datagram.size(), 0);
  if (got < 0) return std::nullopt;
  datagram.resize(static_cast<std::size_t>(got));
  return datagram;
}

std::uint16_t FreeLoopbackPort() {
  return LoopbackPeer().Port();
}

std::vector<std::uint16_t> FreeLoopbackPorts(std::size_t count) {
  std::vector<std::unique_ptr<LoopbackPeer>> held;
  std::vector<std::uint16_t> ports;
  for (std::size_t i = 0; i < count; ++i) {
    held.push_back(std::make_unique<LoopbackPeer>());
    ports.push_back(held.back()->Port());
  }
  return ports;
}

}  // namespace testsupport
