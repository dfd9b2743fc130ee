// The UDP endpoint that every protocol client builds on (SIP engine, STUN client, RTP and
// RTCP endpoints). It owns one IPv4 UDP socket and gives its descendants opening, closing,
// binding, a blocking receive of one datagram with its sender, and the uniform failure: Fail
// stores the error number and abandons the operation by the silent abort.
//
// Threads: the main thread opens, binds, sends and closes; one receive thread at most waits in
// ReceiveFrom. InterruptReceive, from the main thread, wakes that receive so that the thread
// can be stopped before the socket is closed.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "net/ErrorNumbers.h"
#include "platform/Socket.h"
#include "platform/Waker.h"

namespace net {

// One Ethernet frame: longer datagrams are dropped.
inline constexpr std::size_t kMaxDatagram = 1500;

class TCustomUDPClient {
 public:
  TCustomUDPClient();
  // Closes the socket. Descendants whose Close does more call it from their own destructor,
  // since a destructor reaches only its own class's override.
  virtual ~TCustomUDPClient();
  TCustomUDPClient(const TCustomUDPClient&) = delete;
  TCustomUDPClient& operator=(const TCustomUDPClient&) = delete;

  // Closes any socket (through the descendant's Close), then creates a new one; fails with
  // kErrorNoAddress when no socket can be had.
  virtual void Open();
  // Closes the socket if one is open.
  virtual void Close();

  // Binds to the port on every local address; no other port is tried.
  void Bind(std::uint16_t port);
  // Waits for one datagram. `data` is empty after an error, an empty or overlong datagram, a
  // closed socket or an interrupt. Never fails.
  void ReceiveFrom(std::string& data);
  // Fail with the last socket error when `result` is the sockets interface's error result.
  void Check(int result);
  [[noreturn]] void Fail(int code);
  // Wakes a ReceiveFrom waiting on another thread; receives return at once until the next
  // Open or ResumeReceive.
  void InterruptReceive();
  // Lets receives wait again after an interrupt, for a new reader of the same socket; call it
  // only when no thread is receiving.
  void ResumeReceive();

  // The number the last failure stored; read by the owner after an abandoned operation.
  int ErrorCode() const { return errorCode_; }
  bool IsOpen() const { return socket_ != platform::kInvalidSocket; }
  // Where Bind put the socket: tests bind port 0 and learn the port the system chose.
  std::uint16_t BoundPort() const { return platform::BoundPort(socket_); }
  // Where the datagram of the last ReceiveFrom came from.
  const platform::SocketAddress& SenderAddress() const { return senderAddress_; }

 protected:
  platform::SocketHandle Socket() const { return socket_; }

 private:
  void CloseSocket();

  std::atomic<std::int32_t> errorCode_{0};
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  platform::SocketAddress senderAddress_{};
  platform::Waker receiveWaker_;
};

}  // namespace net
