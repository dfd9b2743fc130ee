#include "net/CustomUDPClient.h"

#include "platform/SilentAbort.h"

namespace net {

TCustomUDPClient::TCustomUDPClient() = default;

TCustomUDPClient::~TCustomUDPClient() {
  CloseSocket();
}

void TCustomUDPClient::Open() {
  Close();
  receiveWaker_.Reset();
  socket_ = platform::CreateUdpSocket();
  if (socket_ == platform::kInvalidSocket) Fail(kErrorNoAddress);
}

void TCustomUDPClient::Close() {
  CloseSocket();
}

void TCustomUDPClient::CloseSocket() {
  if (socket_ == platform::kInvalidSocket) return;
  platform::CloseSocket(socket_);
  socket_ = platform::kInvalidSocket;
}

void TCustomUDPClient::Bind(std::uint16_t port) {
  Check(platform::BindSocket(socket_, port));
}

void TCustomUDPClient::ReceiveFrom(std::string& data) {
  senderAddress_ = platform::SocketAddress{};
  senderAddress_.Family = platform::kFamilyIPv4;
  data.clear();
  if (socket_ == platform::kInvalidSocket) return;
  data.resize(kMaxDatagram);
  const int received =
      platform::ReceiveDatagram(socket_, receiveWaker_, data.data(), data.size(), senderAddress_);
  if (received <= 0 || static_cast<std::size_t>(received) > kMaxDatagram) {
    data.clear();
    return;
  }
  data.resize(static_cast<std::size_t>(received));
}

void TCustomUDPClient::Check(int result) {
  if (result == platform::kSocketError) Fail(platform::LastSocketError());
}

void TCustomUDPClient::Fail(int code) {
  errorCode_ = code;
  throw platform::SilentAbort();
}

void TCustomUDPClient::InterruptReceive() {
  receiveWaker_.Signal();
}

void TCustomUDPClient::ResumeReceive() {
  receiveWaker_.Reset();
}

}  // namespace net
