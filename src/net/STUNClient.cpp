#include "net/STUNClient.h"

#include "net/UdpUtil.h"
#include "platform/Address.h"
#include "platform/SilentAbort.h"

namespace net {

TCustomSTUNClient::TCustomSTUNClient(const platform::Window& window,
                                     platform::MessageNumber messageNumber, std::uint16_t localPort,
                                     std::uint16_t serverPort)
    : window_(window),
      message_(messageNumber),
      localPort_(localPort),
      serverPort_(serverPort),
      transactionID_(RandomBytes()) {}

TCustomSTUNClient::~TCustomSTUNClient() {
  thread_.Stop();
}

void TCustomSTUNClient::Start(const std::string& serverHost) {
  platform::RunGuarded([&] {
    Open();
    Bind(localPort_);
    thread_.Start(
        window_, [this] { return ReceiveOne(); }, [this] { InterruptReceive(); },
        /*endAfterHandOff=*/true);
    // A name server that does not answer must not hold the window: for a name, the request
    // goes out once the address has come back in a message.
    if (platform::NeedsNameLookup(serverHost)) {
      return lookup_.Start(window_, message_, serverHost);
    }
    SendRequest(platform::ResolveAddress(serverHost));
  });
}

void TCustomSTUNClient::SendRequest(std::uint32_t server) {
  const std::string request = BuildBindingRequest(transactionID_);
  // Sent once; an unreachable server simply never answers.
  platform::SendTo(Socket(), request.data(), request.size(),
                   platform::MakeSocketAddress(serverPort_, server));
}

std::optional<platform::WindowMessage> TCustomSTUNClient::ReceiveOne() {
  ReceiveFrom(receiveBuffer_);
  const std::optional<platform::Endpoint> mapped =
      ParseBindingResponse(receiveBuffer_, transactionID_);
  if (!mapped) return std::nullopt;
  return platform::WindowMessage{message_, *mapped};
}

void TCustomSTUNClient::HandleNotify(const platform::WindowMessage& message) {
  if (const auto* resolved = std::get_if<platform::ResolvedName>(&message.Data)) {
    if (IsOpen()) SendRequest(resolved->Address);
    return;
  }
  const auto* mapped = std::get_if<platform::Endpoint>(&message.Data);
  if (mapped == nullptr) return;
  public_ = *mapped;
  AddressFound();
}

void TCustomSTUNClient::AddressFound() {
  thread_.Stop();
  Close();
}

void TSTUNClient::AddressFound() {
  TCustomSTUNClient::AddressFound();
  if (OnPublicAddress) OnPublicAddress(*this);
}

}  // namespace net
