// Runs the STUN client once, as the program does at start-up, for the test through a real
// NAT: stun_probe SERVER-HOST [WAIT-MS]. Prints "transaction <hex>" at once, then
// "public <address>:<port>" and exits 0 when the answer came, or exits 1 after WAIT-MS.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>

#include "net/StunClient.h"
#include "net/UdpUtil.h"
#include "platform/Address.h"
#include "platform/EventLoopHandOff.h"

namespace {

class Window final : public platform::MessageTarget {
 public:
  void HandleWindowMessage(const platform::WindowMessage& message) override {
    if (message.Message == net::kStunHandOffMessage && Client != nullptr) {
      Client->HandleNotify(message);
    }
  }
  net::TSTUNClient* Client = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: stun_probe SERVER-HOST [WAIT-MS]\n";
    return 2;
  }
  const long wait = argc > 2 ? std::atol(argv[2]) : 3000;
  platform::EventLoopHandOff loop;
  Window window;
  net::TSTUNClient client(platform::Window{&loop, &window}, net::kStunHandOffMessage);
  window.Client = &client;
  bool found = false;
  client.OnPublicAddress = [&](net::TSTUNClient& c) {
    found = true;
    std::cout << "public " << platform::AddressToText(c.PublicAddress) << ":" << c.PublicPort
              << std::endl;
  };
  std::cout << "transaction " << net::ToHex(client.TransactionID) << std::endl;
  client.Start(argv[1]);
  if (client.ErrorCode != 0) {
    std::cout << "error " << client.ErrorCode << std::endl;
    return 1;
  }
  loop.RunUntil([&] { return found; }, std::chrono::milliseconds(wait));
  return found ? 0 : 1;
}
