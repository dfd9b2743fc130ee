// The other end of a loopback conversation in tests: a UDP socket on an ephemeral port of
// 127.0.0.1 that sends datagrams and waits, with a bound, for those that arrive.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace testsupport {

class LoopbackPeer {
 public:
  LoopbackPeer();
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  std::uint16_t Port() const { return port_; }
  void SendTo(std::uint16_t port, const std::string& datagram) const;
  // The next datagram, or nothing when none came within the time-out.
  std::optional<std::string> Receive(
      std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) const;

 private:
  int fd_;
  std::uint16_t port_;
};

// A port of 127.0.0.1 that was free a moment ago.
std::uint16_t FreeLoopbackPort();

}  // namespace testsupport
