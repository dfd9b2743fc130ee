// Learns the host's public IPv4 address from a STUN server: one Binding Request from local
// port 3478, one receive thread waiting for the matching Binding Response, whose mapped address
// travels to the main thread in the hand-off message (number 1026). A server given by name is
// looked up off the main thread, its address coming back in a message of the same number. The owner
// passes that message to HandleNotify; the socket is then closed, which frees port 3478. There is
// no retransmission and no time-out: without an answer the client waits until it is destroyed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "net/CustomUDPClient.h"
#include "net/StunMessage.h"
#include "platform/HandOff.h"
#include "platform/NameLookup.h"
#include "platform/ReceiveThread.h"

namespace net {

class TCustomSTUNClient : public TCustomUDPClient {
 public:
  // Ports other than 3478 serve tests that run beside each other on one host.
  TCustomSTUNClient(const platform::Window& window, platform::MessageNumber messageNumber,
                    std::uint16_t localPort = kStunPort, std::uint16_t serverPort = kStunPort);
  ~TCustomSTUNClient() override;

  // Binds, starts the receive thread and sends the request. When the socket cannot be had
  // (port 3478 held by a second copy of the program, say) the error stays in ErrorCode and
  // the client is inert; the caller's start-up goes on.
  void Start(const std::string& serverHost);
  // The owner's handler of the hand-off message passes it on here, on the main thread.
  void HandleNotify(const platform::WindowMessage& message);

  // What the server saw: the address in network byte order, the port in host order.
  const platform::Endpoint& PublicAddress() const { return public_; }

 protected:
  // Slot 2: the answer is in; stops receiving and closes the socket.
  virtual void AddressFound();

 private:
  std::optional<platform::WindowMessage> ReceiveOne();
  void SendRequest(std::uint32_t server);

  const platform::Window window_;
  const platform::MessageNumber message_;
  const std::uint16_t localPort_;
  const std::uint16_t serverPort_;
  const std::string transactionID_;
  platform::ReceiveThread thread_;
  platform::NameLookup lookup_;
  std::string receiveBuffer_;  // the receive thread's own
  platform::Endpoint public_;
};

class TSTUNClient : public TCustomSTUNClient {
 public:
  using TSTUNEvent = std::function<void(TSTUNClient&)>;
  using TCustomSTUNClient::TCustomSTUNClient;

  TSTUNEvent OnPublicAddress;

 protected:
  void AddressFound() override;
};

}  // namespace net
