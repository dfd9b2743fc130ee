// The other end of a loopback conversation in tests: a UDP socket on a port of 127.0.0.1 that
// sends datagrams and waits, with a bound, for those that arrive.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class LoopbackPeer {
 public:
  // On `port`, or an ephemeral one; throws std::runtime_error when the port is taken.
  explicit LoopbackPeer(std::uint16_t port = 0);
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  std::uint16_t Port() const { return port_; }
  void SendTo(std::uint16_t port, const std::string& datagram) const;
  // The next datagram, or nothing when none came within the time-out.
  std::optional<std::string> Receive(
      std::chrono::milliseconds timeout = std::chrono::seconds(2)) const;

 private:
  int fd_;
  std::uint16_t port_ = 0;
};

// `count` different ports of 127.0.0.1 that were free a moment ago (held together while they
// are chosen, so that none is handed out twice).
std::vector<std::uint16_t> FreeLoopbackPorts(std::size_t count);
inline std::uint16_t FreeLoopbackPort() {
  return FreeLoopbackPorts(1).front();
}
// A free port whose successor is free too, as an RTP port and its RTCP port are.
std::uint16_t FreePortPair();

}  // namespace testsupport
