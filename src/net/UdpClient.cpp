#include "net/UdpClient.h"

#include "platform/SilentAbort.h"

namespace net {

TCustomUDPClient::TCustomUDPClient() = default;

TCustomUDPClient::~TCustomUDPClient() {
  CloseSocket();
}

void TCustomUDPClient::Open() {
  Close();
  receiveWaker_.Reset();
  Socket = platform::CreateUdpSocket();
  if (Socket == platform::kInvalidSocket) Fail(kErrorNoSocketOrAddress);
}

void TCustomUDPClient::Close() {
  CloseSocket();
}

void TCustomUDPClient::CloseSocket() {
  if (Socket == platform::kInvalidSocket) return;
  platform::CloseSocket(Socket);
  Socket = platform::kInvalidSocket;
}

void TCustomUDPClient::Bind(std::uint16_t port) {
  Check(platform::BindSocket(Socket, port));
}

void TCustomUDPClient::ReceiveFrom(std::string& data) {
  SenderAddress = platform::SocketAddress{};
  SenderAddress.Family = platform::kFamilyIPv4;
  data.clear();
  if (Socket == platform::kInvalidSocket) return;
  data.resize(kMaxDatagram);
  const int received =
      platform::ReceiveDatagram(Socket, receiveWaker_, data.data(), data.size(), SenderAddress);
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
  ErrorCode = code;
  throw platform::SilentAbort();
}

void TCustomUDPClient::InterruptReceive() {
  receiveWaker_.Signal();
}

void TCustomUDPClient::ResumeReceive() {
  receiveWaker_.Reset();
}

}  // namespace net
