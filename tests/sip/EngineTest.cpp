// The SIP engine against a scripted server on loopback: every state x message and state x
// operation (resulting state, what goes on the wire, which events), the rules that span
// messages, and RFC 4475's torture messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "net/ErrorNumbers.h"
#include "platform/SilentAbort.h"
#include "platform/SocketError.h"
#include "sip/SipClient.h"
#include "sip/SipMessage.h"
#include "support/EventLoopHandOff.h"
#include "support/LoopbackPeer.h"
#include "support/SipResponse.h"

namespace sip {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

std::string Method(const std::string& message) {
  return message.substr(0, message.find(' '));
}

class EngineTest : public ::testing::Test, public platform::MessageTarget {
 protected:
  EngineTest() {
    engine_.OnStateChange = [this](TSIPClient& c) { events_.push_back(StateName(c.State())); };
    engine_.OnRegistered = [this](TSIPClient&) { events_.push_back("OnRegistered"); };
    engine_.OnCallAnswered = [this](TSIPClient&) { events_.push_back("OnCallAnswered"); };
    engine_.OnCallEnded = [this](TSIPClient&) { events_.push_back("OnCallEnded"); };
    engine_.OnSIPError = [this](TSIPClient& c) {
      events_.push_back("OnSIPError " + std::to_string(c.ErrorCode()));
    };
    engine_.SetMedia("192.0.2.2", 5004);
  }

  void HandleWindowMessage(const platform::WindowMessage& message) override {
    const auto* framed = std::get_if<platform::FramedMessage>(&message.Data);
    if (framed != nullptr && framed->HeaderBlock.starts_with("MARKER")) {
      marked_ = true;
      return;
    }
    ++handOffs_;
    engine_.Dispatch(message);
  }

  template <typename Operation>
  void User(Operation&& operation) {
    platform::RunGuarded(std::forward<Operation>(operation));
  }

  // The next `count` datagrams the engine sends, by method (a response as "SIP/2.0"), and any
  // that follow within `quiet`: one too many shows as an entry too many.
  Strings Sent(std::size_t count = 0, std::chrono::milliseconds quiet = 20ms) {
    Strings methods;
    while (auto datagram = server_.Receive(methods.size() < count ? 2000ms : quiet)) {
      last_ = *datagram;
      methods.push_back(Method(last_));
    }
    return methods;
  }

  // Whether the datagram reached the engine's main thread. A marker of our dialog follows it;
  // the receive thread keeps their order, so once the marker is in, the datagram was handed
  // over or dropped.
  bool Deliver(const std::string& datagram) {
    const int before = handOffs_;
    marked_ = false;
    server_.SendTo(port_, datagram);
    server_.SendTo(port_,
                   "MARKER\r\nCall-ID: " + engine_.CallID() + "\r\nContent-Length: 0\r\n\r\n");
    // The 200 to the un-registration closes the socket: no marker after it.
    EXPECT_TRUE(loop_.RunUntil([&] { return marked_ || !engine_.IsOpen(); }, 2s));
    return handOffs_ > before;
  }

  std::string Response(int code, const std::string& body = "") const {
    return testsupport::SipResponse(last_, code, body);
  }

  std::string Bye(const std::string& callID) const {
    return "BYE sip:0123@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1;branch=z9hG4bKb\r\n"
           "From: <sip:0612@127.0.0.1>;tag=srv\r\nTo: <sip:0123@127.0.0.1>;tag=42\r\n"
           "Call-ID: " +
           callID + "\r\nCSeq: 77 BYE\r\nContent-Length: 0\r\n\r\n";
  }

  // A status code or "BYE" from the server, or the user's operation.
  void Apply(const std::string& input) {
    if (input == "Register")
      User([&] { engine_.Register("Alice", "127.0.0.1", "0123", "pw"); });
    else if (input == "Invite")
      User([&] { engine_.Invite("0612"); });
    else if (input == "Cancel")
      User([&] { engine_.Cancel(); });
    else if (input == "Unregister")
      User([&] { engine_.Unregister(); });
    else
      ASSERT_TRUE(
          Deliver(input == "BYE" ? Bye(engine_.CallID()) : Response(std::stoi(input), kAnswer)));
  }

  // Drives the engine through real exchanges into `state`: from the state before it, by one
  // input, which sends so many datagrams.
  void Reach(TSIPState state) {
    static const std::map<TSIPState, std::tuple<TSIPState, const char*, std::size_t>> kPath = {
        {ssRegistering, {ssIdle, "Register", 1}},  {ssRegistered, {ssRegistering, "200", 0}},
        {ssInviting, {ssRegistered, "Invite", 1}}, {ssAuthenticating, {ssInviting, "407", 2}},
        {ssTrying, {ssInviting, "100", 0}},        {ssRinging, {ssInviting, "180", 0}},
        {ssCancelling, {ssRinging, "Cancel", 1}},  {ssInCall, {ssInviting, "200", 1}},
        {ssHangingUp, {ssInCall, "Cancel", 1}},    {ssRemoteHangUp, {ssInCall, "BYE", 1}},
        {ssCallFailed, {ssInviting, "Cancel", 0}}, {ssRefused, {ssRegistering, "403", 1}},
        {ssIdle, {ssRegistered, "Unregister", 1}}};
    const auto& [before, input, sent] = kPath.at(state);
    if (state != ssRegistering) Reach(before);
    Apply(input);
    Sent(sent, 0ms);
    if (state == ssIdle) Apply("200");
    ASSERT_STREQ(StateName(engine_.State()), StateName(state));
    events_.clear();
  }

  const std::string kAnswer = "v=0\r\nc=IN IP4 127.0.0.1\r\nm=audio 40000 RTP/AVP 8\r\n";
  testsupport::EventLoopHandOff loop_;  // before the engine: its destruction still raises events
  testsupport::LoopbackPeer server_;
  const std::uint16_t port_ = testsupport::FreeLoopbackPort();
  int handOffs_ = 0;
  bool marked_ = false;
  Strings events_;
  std::string last_;
  TSIPClient engine_{platform::Window{&loop_, this}, kSipHandOffMessage, port_, server_.Port()};
};

struct Row {
  TSIPState From;
  std::string Input;  // a status code, "BYE" from the server, or the user's operation
  TSIPState To;
  Strings Sent;
  Strings Events;
};
void PrintTo(const Row& row, std::ostream* out) {
  *out << StateName(row.From) << " + " << row.Input;
}

class TransitionTest : public EngineTest, public ::testing::WithParamInterface<Row> {};

TEST_P(TransitionTest, StateWireAndEvents) {
  const Row& row = GetParam();
  Reach(row.From);
  Apply(row.Input);
  EXPECT_STREQ(StateName(engine_.State()), StateName(row.To));
  EXPECT_EQ(Sent(row.Sent.size()), row.Sent);
  EXPECT_EQ(events_, row.Events);
}

const Strings kRegistered = {"ssRegistered", "OnRegistered"};
const Strings kAnswered = {"ssInCall", "OnCallAnswered"};
INSTANTIATE_TEST_SUITE_P(
    Responses, TransitionTest,
    ::testing::Values(
        Row{ssRegistering, "100", ssTrying, {}, {"ssTrying"}},
        Row{ssRegistering, "180", ssRegistering, {}, {}},
        Row{ssRegistering, "200", ssRegistered, {}, kRegistered},
        Row{ssRegistering, "401", ssAuthenticating, {"REGISTER"}, {"ssAuthenticating"}},
        Row{ssRegistering, "407", ssAuthenticating, {"REGISTER"}, {"ssAuthenticating"}},
        Row{ssRegistering, "403", ssRefused, {"ACK"}, {"ssRefused", "OnCallEnded"}},
        Row{ssRegistered, "200", ssRegistered, {}, {}},
        Row{ssRegistered, "BYE", ssRegistered, {"SIP/2.0"}, {}},
        Row{ssInviting, "100", ssTrying, {}, {"ssTrying"}},
        Row{ssInviting, "180", ssRinging, {}, {"ssRinging"}},
        Row{ssInviting, "200", ssInCall, {"ACK"}, kAnswered},
        Row{ssInviting, "407", ssAuthenticating, {"ACK", "INVITE"}, {"ssAuthenticating"}},
        Row{ssInviting, "486", ssInviting, {}, {}}, Row{ssInviting, "487", ssInviting, {}, {}},
        Row{ssAuthenticating, "401", ssAuthenticating, {}, {}},
        Row{ssAuthenticating, "100", ssTrying, {}, {"ssTrying"}},
        Row{ssAuthenticating, "180", ssRinging, {}, {"ssRinging"}},
        Row{ssAuthenticating, "200", ssInCall, {"ACK"}, kAnswered},
        Row{ssTrying, "100", ssTrying, {}, {}}, Row{ssTrying, "180", ssRinging, {}, {"ssRinging"}},
        Row{ssTrying, "200", ssInCall, {"ACK"}, kAnswered},
        Row{ssRinging, "180", ssRinging, {}, {}},
        Row{ssRinging, "200", ssInCall, {"ACK"}, kAnswered},
        Row{ssCancelling, "200", ssCancelling, {}, {}},
        Row{ssCancelling, "487", ssCallFailed, {"ACK"}, {"ssCallFailed", "OnCallEnded"}},
        Row{ssCancelling, "403", ssRefused, {"ACK"}, {"ssRefused", "OnCallEnded"}},
        Row{ssInCall, "200", ssInCall, {}, {}},
        Row{ssInCall, "BYE", ssRemoteHangUp, {"SIP/2.0"}, {"ssRemoteHangUp", "OnCallEnded"}},
        Row{ssHangingUp, "200", ssRegistered, {}, {"ssRegistered", "OnCallEnded"}},
        Row{ssHangingUp, "487", ssHangingUp, {}, {}},
        Row{ssRemoteHangUp, "200", ssRemoteHangUp, {}, {}},
        Row{ssCallFailed, "180", ssCallFailed, {}, {}}, Row{ssRefused, "401", ssRefused, {}, {}}));

INSTANTIATE_TEST_SUITE_P(
    UserOperations, TransitionTest,
    ::testing::Values(
        Row{ssRegistering, "Cancel", ssCallFailed, {}, {"ssCallFailed", "OnCallEnded"}},
        Row{ssRegistered, "Cancel", ssRegistering, {"REGISTER"}, {"ssRegistering"}},
        Row{ssRegistered, "Invite", ssInviting, {"INVITE"}, {"ssInviting"}},
        Row{ssInviting, "Cancel", ssCallFailed, {}, {"ssCallFailed", "OnCallEnded"}},
        Row{ssAuthenticating, "Cancel", ssCancelling, {"CANCEL"}, {"ssCancelling"}},
        Row{ssTrying, "Cancel", ssCancelling, {"CANCEL"}, {"ssCancelling"}},
        Row{ssRinging, "Cancel", ssCancelling, {"CANCEL"}, {"ssCancelling"}},
        Row{ssRinging, "Invite", ssRinging, {}, {}},
        Row{ssCancelling, "Cancel", ssCallFailed, {}, {"ssCallFailed", "OnCallEnded"}},
        Row{ssCallFailed, "Invite", ssInviting, {"INVITE"}, {"ssInviting"}},
        Row{ssCallFailed, "Cancel", ssCallFailed, {}, {"OnCallEnded"}},
        Row{ssInCall, "Cancel", ssHangingUp, {"BYE"}, {"ssHangingUp"}},
        Row{ssInCall, "Invite", ssInCall, {}, {}},
        Row{ssHangingUp, "Cancel", ssRegistered, {}, {"ssRegistered", "OnCallEnded"}},
        Row{ssRemoteHangUp, "Invite", ssInviting, {"INVITE"}, {"ssInviting"}},
        Row{ssRefused, "Invite", ssRefused, {}, {}},
        Row{ssRefused, "Unregister", ssRegistering, {"REGISTER"}, {"ssRegistering"}},
        Row{ssIdle, "Invite", ssIdle, {}, {}}));

TEST_F(EngineTest, FailuresTheUserStartedAreReported) {
  User([&] { engine_.Register("A", "", "1", "p"); });  // the end-to-end runs meet 10048
  EXPECT_EQ(events_, Strings{"OnSIPError 1"});
  Reach(ssRegistering);
  ASSERT_TRUE(Deliver("SIP/2.0 401 X\r\nCall-ID: " + engine_.CallID() +
                      "\r\nContent-Length: 0\r\n\r\n"));  // a challenge without its header
  EXPECT_EQ(events_, (Strings{"ssAuthenticating", "OnSIPError 6"}));
  EXPECT_EQ(Sent(), Strings{});
}

// A domain given as a name is looked up off the main thread: an attempt given up meanwhile
// sends nothing once the address is in; otherwise the REGISTER follows the address's message.
TEST_F(EngineTest, ADomainNameIsLookedUpOffTheMainThread) {
  for (const bool givenUp : {true, false}) {
    User([&] { engine_.Register("Alice", "localhost", "0123", "pw"); });
    EXPECT_EQ(engine_.State(), ssIdle);
    if (givenUp) User([&] { engine_.Cancel(); });
    loop_.RunUntil([&] { return engine_.State() == ssRegistering; }, givenUp ? 300ms : 2s);
    EXPECT_EQ(Sent(givenUp ? 0 : 1), givenUp ? Strings{} : Strings{"REGISTER"});
    EXPECT_EQ(events_, givenUp ? Strings{"OnCallEnded"} : Strings{"ssRegistering"});
    events_.clear();
  }
}

// A request of the far end inside the call (a re-INVITE) names us in its To: the hang-up must
// still name the far end, as the answer to our INVITE did.
TEST_F(EngineTest, TheFarEndsRequestsLeaveTheHangUpAddressedToIt) {
  Reach(ssInCall);
  const std::string farEnd = GetHeader(last_, "To");  // of our ACK to the answer
  std::string reInvite = Bye(engine_.CallID());
  reInvite.replace(0, 3, "INVITE");
  EXPECT_TRUE(Deliver(reInvite));
  User([&] { engine_.Cancel(); });
  ASSERT_EQ(Sent(1), Strings{"BYE"});
  EXPECT_EQ(GetHeader(last_, "To"), farEnd);
}

// Each RFC 4475 message with our Call-ID, in a call: dropped by the receive thread, handed
// over and refused (error 5), or a valid response the state ignores. Nothing is sent, no
// event is raised, the state stays; then only a BYE of our dialog ends the call.
TEST_F(EngineTest, TortureMessagesLeaveTheCallAsItWas) {
  enum Outcome { kDropped, kError5, kIgnored };
  const std::map<std::string, Outcome> outcomes = {
      {"baddate", kError5},   {"badinv01", kError5}, {"bcast", kIgnored},   {"bext01", kError5},
      {"bigcode", kError5},   {"dblreq", kError5},   {"esc01", kError5},    {"escruri", kError5},
      {"intmeth", kError5},   {"invut", kError5},    {"ltgtruri", kError5}, {"lwsruri", kError5},
      {"lwsstart", kError5},  {"mcl01", kError5},    {"mpart01", kError5},  {"ncl", kError5},
      {"noreason", kIgnored}, {"novelsc", kError5},  {"quotbal", kError5},  {"scalar02", kError5},
      {"scalarlg", kIgnored}, {"sdp01", kError5},    {"trws", kError5},     {"unkscm", kError5},
      {"unreason", kIgnored}, {"zeromf", kError5}};  // every other message is dropped
  Reach(ssInCall);
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(TELVARION_TEST_DATA "/rfc4475"))
    if (entry.path().extension() == ".dat") files.push_back(entry.path());
  const auto outcome = [&](const std::filesystem::path& file) {
    const auto found = outcomes.find(file.stem().string());
    return found == outcomes.end() ? kDropped : found->second;
  };
  // The error number stays once set: the ignored messages go first, while it is still 0.
  std::ranges::sort(files, {}, [&](const auto& file) { return outcome(file) != kIgnored; });
  for (const std::filesystem::path& file : files) {
    SCOPED_TRACE(file.filename());
    std::ostringstream bytes;
    bytes << std::ifstream(file, std::ios::binary).rdbuf();
    static const std::regex kCallID(R"(\r\n(call-id|i)[ \t]*:[^\r]*)", std::regex::icase);
    const std::string message =
        std::regex_replace(bytes.str(), kCallID, "\r\n$1: " + engine_.CallID(),
                           std::regex_constants::format_first_only);
    ASSERT_EQ(Deliver(message), outcome(file) != kDropped);
    if (outcome(file) != kDropped) {
      EXPECT_EQ(engine_.ErrorCode(), outcome(file) == kError5 ? net::kErrorInvalidResponse : 0);
    }
    EXPECT_EQ(Sent(), Strings{});
    EXPECT_EQ(engine_.State(), ssInCall);
  }
  EXPECT_EQ(files.size(), 49u);
  EXPECT_EQ(events_, Strings{});
}

}  // namespace
}  // namespace sip
