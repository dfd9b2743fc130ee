#include "net/StunClient.h"

#include "net/UdpUtil.h"
#include "platform/Address.h"
#include "platform/SilentAbort.h"

namespace net {

TCustomSTUNClient::TCustomSTUNClient(const platform::Window& window, std::uint32_t messageNumber,
                                     std::uint16_t localPort, std::uint16_t serverPort)
    : NotifyWindow(window),
      NotifyMessage(messageNumber),
      TransactionID(RandomBytes()),
      localPort_(localPort),
      serverPort_(serverPort) {}

TCustomSTUNClient::~TCustomSTUNClient() {
  Thread.Stop();
}

void TCustomSTUNClient::Start(const std::string& serverHost) {
  platform::RunGuarded([&] {
    Open();
    Bind(localPort_);
    Thread.Start(
        NotifyWindow, [this] { return ReceiveOne(); }, [this] { InterruptReceive(); },
        /*endAfterHandOff=*/true);
    ServerAddress = platform::MakeSocketAddress(serverPort_, platform::ResolveAddress(serverHost));
    const std::string request = BuildBindingRequest(TransactionID);
    // Sent once; an unreachable server simply never answers.
    platform::SendTo(Socket, request.data(), request.size(), ServerAddress);
  });
}

std::optional<platform::WindowMessage> TCustomSTUNClient::ReceiveOne() {
  ReceiveFrom(receiveBuffer_);
  const std::optional<MappedAddress> mapped = ParseBindingResponse(receiveBuffer_, TransactionID);
  if (!mapped) return std::nullopt;
  return platform::WindowMessage{NotifyMessage, mapped->Address, mapped->Port};
}

void TCustomSTUNClient::HandleNotify(const platform::WindowMessage& message) {
  PublicAddress = static_cast<std::uint32_t>(message.WParam);
  PublicPort = static_cast<std::uint16_t>(message.LParam & 0xFFFF);
  AddressFound();
}

void TCustomSTUNClient::AddressFound() {
  Thread.Stop();
  Close();
}

void TSTUNClient::AddressFound() {
  TCustomSTUNClient::AddressFound();
  if (OnPublicAddress) OnPublicAddress(*this);
}

}  // namespace net
