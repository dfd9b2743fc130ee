// The engine against a fake server on loopback, for the engine's tests: the loopback peer
// plays the provider's server, and the fixture is the engine's "window".
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/EventLoopHandOff.h"
#include "platform/SilentAbort.h"
#include "sip/SipClient.h"
#include "sip/SipMessage.h"
#include "support/LoopbackPeer.h"

namespace sip {

using Strings = std::vector<std::string>;

inline std::string Method(const std::string& request) {
  return request.substr(0, request.find(' '));
}

// The loopback peer that plays the provider's server, and the engine's "window".
class SipClientFixture : public ::testing::Test, public platform::MessageTarget {
 protected:
  SipClientFixture() {
    client_.OnStateChange = [this](TSIPClient& c) { events_.push_back(StateName(c.State)); };
    client_.OnRegistered = [this](TSIPClient&) { events_.push_back("OnRegistered"); };
    client_.OnCallAnswered = [this](TSIPClient&) { events_.push_back("OnCallAnswered"); };
    client_.OnCallEnded = [this](TSIPClient&) { events_.push_back("OnCallEnded"); };
    client_.OnSIPError = [this](TSIPClient& c) {
      events_.push_back("OnSIPError " + std::to_string(c.ErrorCode));
    };
    client_.SetMedia("192.0.2.2", 5004);
  }

  void HandleWindowMessage(const platform::WindowMessage& message) override {
    ++handOffs_;
    if (message.Message == kSipHandOffMessage) routed_->Dispatch(message);
  }

  // Runs a user operation as the window's dispatcher would.
  template <typename Operation>
  void User(Operation&& operation) {
    platform::RunGuarded(std::forward<Operation>(operation));
  }

  // What the engine sent, each datagram once; fails on a datagram expected but not sent.
  std::string NextSent() {
    auto datagram = server_.Receive(std::chrono::seconds(2));
    EXPECT_TRUE(datagram) << "the engine sent nothing";
    if (datagram) last_ = *datagram;
    return datagram.value_or("");
  }

  Strings SentMethods(std::chrono::milliseconds wait = std::chrono::milliseconds(50)) {
    Strings methods;
    while (auto datagram = server_.Receive(wait)) {
      last_ = *datagram;
      sent_.push_back(*datagram);
      methods.push_back(Method(*datagram));
    }
    return methods;
  }

  // Sends a datagram to the engine and waits until its hand-off has been handled.
  void Deliver(const std::string& datagram) {
    const int before = handOffs_;
    server_.SendTo(clientPort_, datagram);
    ASSERT_TRUE(loop_.RunUntil([&] { return handOffs_ > before; }, std::chrono::seconds(2)))
        << "no hand-off for: " << datagram;
  }

  // A response to the last request the engine sent, with the headers a server copies.
  std::string Response(int code, const std::string& extraHeaders = "",
                       const std::string& body = "") const {
    std::string text = "SIP/2.0 " + std::to_string(code) + " Reason\r\n";
    for (const char* name : {"Via", "From"})
      text += name + (":" + GetHeader(last_, name)) + "\r\n";
    text += "To:" + GetHeader(last_, "To") + (code > 100 ? ";tag=srv1" : "") + "\r\n";
    for (const char* name : {"Call-ID", "CSeq"}) {
      text += name + (":" + GetHeader(last_, name)) + "\r\n";
    }
    text += extraHeaders;
    text += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    return text;
  }

  // The far end's BYE within our dialog, or, given another Call-ID, a stray one.
  std::string Bye(const std::string& callID = "") const {
    return "BYE sip:0123456789@127.0.0.1 SIP/2.0\r\n"
           "Via: SIP/2.0/UDP 127.0.0.1:5060;branch=z9hG4bKsrvbye\r\n"
           "Via: SIP/2.0/UDP 10.9.9.9;branch=z9hG4bKinner\r\n"
           "From: <sip:0612345678@127.0.0.1>;tag=srv1\r\n"
           "To: Alice <sip:0123456789@127.0.0.1>;tag=4242\r\n"
           "Call-ID: " +
           (callID.empty() ? client_.Composer.DialogCallID() : callID) +
           "\r\n"
           "CSeq: 77 BYE\r\n"
           "Content-Length: 0\r\n\r\n";
  }

  static std::string Challenge(int code) {
    return std::string(code == 407 ? "Proxy-Authenticate" : "WWW-Authenticate") +
           ": Digest realm=\"127.0.0.1\", nonce=\"n0nce\", opaque=\"0paque\", algorithm=MD5\r\n";
  }

  void DeliverResponse(int code, const std::string& body = "") {
    const std::string extra = (code == 401 || code == 407 ? Challenge(code) : std::string()) +
                              (body.empty() ? "" : "Content-Type: application/sdp\r\n");
    Deliver(Response(code, extra, body));
  }

  // Drives the engine through real exchanges into `state`.
  void Reach(TSIPState state) {
    switch (state) {
      case ssRegistering:
        User([&] { client_.Register("Alice", "127.0.0.1", "0123456789", "s3cret"); });
        NextSent();
        break;
      case ssRegistered:
        Reach(ssRegistering);
        DeliverResponse(200);
        break;
      case ssInviting:
        Reach(ssRegistered);
        User([&] { client_.Invite("0612345678"); });
        NextSent();
        break;
      case ssAuthenticating:
        Reach(ssInviting);
        DeliverResponse(407);
        SentMethods();  // ACK, INVITE
        break;
      case ssTrying:
        Reach(ssInviting);
        DeliverResponse(100);
        break;
      case ssRinging:
        Reach(ssInviting);
        DeliverResponse(180);
        break;
      case ssCancelling:
        Reach(ssRinging);
        User([&] { client_.Cancel(); });
        NextSent();
        break;
      case ssInCall:
        Reach(ssInviting);
        DeliverResponse(200, kAnswer);
        NextSent();  // ACK
        break;
      case ssHangingUp:
        Reach(ssInCall);
        User([&] { client_.Cancel(); });
        NextSent();
        break;
      case ssRemoteHangUp:
        Reach(ssInCall);
        Deliver(Bye());
        NextSent();  // 200
        break;
      case ssCallFailed:
        Reach(ssInviting);
        User([&] { client_.Cancel(); });
        break;
      case ssRefused:
        Reach(ssRegistering);
        DeliverResponse(403);
        NextSent();  // ACK
        break;
      case ssIdle:
        Reach(ssRegistered);
        User([&] { client_.Unregister(); });
        NextSent();
        DeliverResponse(200);
        break;
    }
    ASSERT_EQ(client_.State, state) << StateName(client_.State);
    events_.clear();
    sent_.clear();
  }

  const std::string kAnswer =
      "v=0\r\no=peer 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
      "m=audio 40000 RTP/AVP 8\r\n";

  // Declared before the engine: its destruction still raises events into them.
  platform::EventLoopHandOff loop_;
  testsupport::LoopbackPeer server_;
  const std::uint16_t clientPort_ = testsupport::FreeLoopbackPort();
  int handOffs_ = 0;
  Strings events_;
  Strings sent_;
  std::string last_;
  TSIPClient client_{platform::Window{&loop_, this}, kSipHandOffMessage, clientPort_,
                     server_.Port()};
  TSIPClient* routed_ = &client_;  // the engine this window's hand-offs go to
};

}  // namespace sip
