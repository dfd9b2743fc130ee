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
  // To where the last datagram received came from: the code under test may bind port 0, and
  // no port is free between a test's look and the code's bind.
  void Reply(const std::string& datagram) const { SendTo(lastSender_, datagram); }
  std::uint16_t LastSender() const { return lastSender_; }

 private:
  int fd_;
  std::uint16_t port_ = 0;
  mutable std::uint16_t lastSender_ = 0;
};

// A free port of 127.0.0.1 whose successor is free too, as an RTP port and its RTCP port are:
// the one port a test must choose itself, since the system hands out no pairs. The code binds
// them a moment after they are let go; every other port is the system's choice (port 0).
std::uint16_t FreePortPair();

}  // namespace testsupport
