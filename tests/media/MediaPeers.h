// Loopback helpers for the RTP and RTCP tests: ports that come in pairs (RTP, RTP + 1), a
// peer bound to a chosen port, and a Receive on the endpoint that cannot hang a test.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "media/RtcpClient.h"
#include "platform/SilentAbort.h"
#include "support/LoopbackPeer.h"

namespace media::testing {

// A UDP socket on 127.0.0.1 at a chosen port; every wait is bounded.
class PortPeer {
 public:
  explicit PortPeer(std::uint16_t port) : fd_(socket(AF_INET, SOCK_DGRAM, 0)), port_(port) {
    const sockaddr_in address = Loopback(port);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      if (fd_ >= 0) close(fd_);
      throw std::runtime_error("port peer: cannot bind");
    }
  }
  ~PortPeer() { close(fd_); }
  PortPeer(const PortPeer&) = delete;
  PortPeer& operator=(const PortPeer&) = delete;

  std::uint16_t Port() const { return port_; }

  void SendTo(std::uint16_t port, const std::string& datagram) const {
    const sockaddr_in to = Loopback(port);
    sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
           sizeof to);
  }

  // The next datagram and its sender's port, or nothing within the time-out.
  std::optional<std::string> Receive(std::chrono::milliseconds timeout,
                                     std::uint16_t* senderPort = nullptr) const {
    pollfd ready{fd_, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
    std::string datagram(65536, '\0');
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t got = recvfrom(fd_, datagram.data(), datagram.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &length);
    if (got < 0) return std::nullopt;
    if (senderPort != nullptr) *senderPort = ntohs(from.sin_port);
    datagram.resize(static_cast<std::size_t>(got));
    return datagram;
  }

  // Reads and drops whatever arrives until `quiet` passes without a datagram (at most 5 s).
  int Drain(std::chrono::milliseconds quiet = std::chrono::milliseconds(50)) const {
    int dropped = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline && Receive(quiet))
      ++dropped;
    return dropped;
  }

 private:
  static sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }

  int fd_;
  std::uint16_t port_;
};

// A port P such that P and P + 1 were both free on every address a moment ago.
inline std::uint16_t FreePortPair() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::uint16_t port = testsupport::FreeLoopbackPort();
    if (port == 0 || port == 65535) continue;
    net::TCustomUDPClient first;
    net::TCustomUDPClient second;
    if (platform::RunGuarded([&] {
          first.Open();
          first.Bind(port);
          second.Open();
          second.Bind(static_cast<std::uint16_t>(port + 1));
        })) {
      return port;
    }
  }
  throw std::runtime_error("no free pair of ports");
}

// TRTCPClient::Receive on another thread, waited for at most `timeout`; on time-out the
// receive is interrupted and nothing is returned. Each call is a stream's first packet.
inline std::optional<std::string> ReceiveWithin(
    TCustomRTCPClient& rtcp, std::uint8_t payloadType,
    std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
  std::promise<std::string> result;
  std::future<std::string> future = result.get_future();
  std::thread receiver([&] {
    TStreamLatch latch;
    result.set_value(rtcp.Receive(payloadType, latch).value_or(""));
  });
  const bool arrived = future.wait_for(timeout) == std::future_status::ready;
  if (!arrived) rtcp.RTPClient->InterruptReceive();
  receiver.join();
  if (!arrived) return std::nullopt;
  return future.get();
}

}  // namespace media::testing
