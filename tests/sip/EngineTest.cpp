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
#include "sip/SIPClient.h"
#include "sip/SipMessage.h"
#include "support/Command.h"
#include "support/EventLoopHandOff.h"
#include "support/LoopbackPeer.h"
#include "support/SipResponse.h"

namespace sip {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// A request by its method, a response by its code.
std::string Method(const std::string& message) {
  const std::size_t space = message.find(' ');
  return message.starts_with("SIP/2.0 ") ? message.substr(space + 1, 3) : message.substr(0, space);
}

// The same message as a phone may write it: header names in lower case or compact, and over UDP
// without Content-Length.
std::string Terse(std::string message) {
  for (const auto& [full, terse] : {std::pair{"\r\nVia:", "\r\nv:"},
                                    {"\r\nFrom:", "\r\nf:"},
                                    {"\r\nTo:", "\r\nt:"},
                                    {"\r\nCall-ID:", "\r\ni:"},
                                    {"\r\nCSeq:", "\r\ncseq:"}})
    message.replace(message.find(full), std::string(full).size(), terse);
  const std::size_t length = message.find("Content-Length:");
  return message.erase(length, message.find("\r\n", length) + 2 - length);
}

class EngineTest : public ::testing::Test, public platform::MessageTarget {
 protected:
  EngineTest() {
    engine_.OnStateChange = [this](TSIPClient& c) { events_.push_back(StateName(c.State())); };
    engine_.OnRegistered = [this](TSIPClient&) { events_.push_back("OnRegistered"); };
    engine_.OnCallAnswered = [this](TSIPClient&) { events_.push_back("OnCallAnswered"); };
    engine_.OnCallEnded = [this](TSIPClient&) { events_.push_back("OnCallEnded"); };
    engine_.OnCallUpdated = [this](TSIPClient&) { events_.push_back("OnCallUpdated"); };
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

  // How long to wait for what the engine should do: once a wait came to nothing in this run,
  // the engine is broken and every row would wait in vain, so the rest wait briefly.
  static std::chrono::milliseconds Patience() { return patienceLost_ ? 100ms : 2000ms; }
  template <typename Result>
  static Result Waited(Result result) {
    patienceLost_ = patienceLost_ || !result;
    return result;
  }

  // The next `count` datagrams the engine sends, by method (a response as "SIP/2.0"), and any
  // more already there: every request and answer leaves on the main thread, in the input's
  // dispatch, so one too many shows as an entry too many without waiting for it.
  Strings Sent(std::size_t count = 0) {
    Strings methods;
    while (auto datagram = Waited(server_.Receive(methods.size() < count ? Patience() : 0ms))) {
      got_ = *datagram;
      if (!datagram->starts_with("SIP/2.0 ")) last_ = *datagram;
      methods.push_back(*datagram == callAck_ ? "the same ACK" : Method(*datagram));
      if (methods.back() == "INVITE") invite_ = *datagram;
    }
    return methods;
  }

  // Whether the datagram reached the engine's main thread. A marker of our dialog follows it;
  // the receive thread keeps their order, so once the marker is in, the datagram was handed
  // over or dropped.
  bool Deliver(const std::string& datagram) {
    const int before = handOffs_;
    marked_ = false;
    const std::uint16_t port = engine_.BoundPort();
    server_.SendTo(port, datagram);
    server_.SendTo(port,
                   "MARKER\r\nCall-ID: " + engine_.CallID() + "\r\nContent-Length: 0\r\n\r\n");
    // The 200 to the un-registration closes the socket: no marker after it.
    EXPECT_TRUE(Waited(loop_.RunUntil([&] { return marked_ || !engine_.IsOpen(); }, Patience())))
        << "the engine's receive thread did not hand over a marker sent after the datagram";
    return handOffs_ > before;
  }

  std::string Response(int code, const std::string& body = "") const {
    return testsupport::SipResponse(last_, code, body);
  }
  // A request of the far end in the call (our tag in its To).
  std::string Request(const std::string& method, const std::string& body = "",
                      const std::string& farEndTag = "srv") const {
    return testsupport::SipRequest(method, invite_.empty() ? last_ : invite_, body, farEndTag);
  }

  // A status code from the server for the last request sent ("200 INVITE": for the last INVITE;
  // "200 earlier INVITE": for the INVITE given up before it; "200 BYE": for a BYE before the
  // last request; "terse": as Terse writes it); a request of the far end ("BYE", "OPTIONS";
  // "OPTIONS of another call"); or the user's operation.
  void Apply(const std::string& input) {
    if (input == "Register")
      User([&] { engine_.Register("Alice", "127.0.0.1", "0123", "pw"); });
    else if (input == "Invite")
      User([&] { engine_.Invite("0612"); });
    else if (input == "Cancel")
      User([&] { engine_.Cancel(); });
    else if (input == "Unregister")
      User([&] { engine_.Unregister(); });
    else if (input == "Close")
      User([&] { engine_.Close(); });
    else if (std::isupper(static_cast<unsigned char>(input[0])))
      ASSERT_TRUE(Deliver(input.ends_with("another call")
                              ? Request(input.substr(0, input.find(' ')), "", "other")
                              : Request(input, input == "INVITE" ? kAnswer : "")));
    else
      ASSERT_TRUE(Deliver(Answer(input)));
  }
  std::string Answer(const std::string& input) const {
    const std::string& to = input.ends_with("earlier INVITE") ? earlier_
                            : input.ends_with("INVITE")       ? invite_
                                                              : last_;
    std::string response = testsupport::SipResponse(to, std::stoi(input), kAnswer);
    if (input.ends_with(" BYE")) {
      const auto cseq = ParseCSeq(response);
      response.replace(response.find("CSeq:"),
                       response.find("\r\n", response.find("CSeq:")) - response.find("CSeq:"),
                       "CSeq: " + std::to_string(cseq->Number - 1) + " BYE");
    }
    return input.ends_with("terse") ? Terse(response) : response;
  }

  // Drives the engine through real exchanges into `state`: from the state before it, by one
  // input, which sends so many datagrams.
  void Reach(TSIPState state, bool afterAnEarlierInvite = false) {
    static const std::map<TSIPState, std::tuple<TSIPState, const char*, std::size_t>> kPath = {
        {ssRegistering, {ssIdle, "Register", 1}},  {ssRegistered, {ssRegistering, "200", 0}},
        {ssInviting, {ssRegistered, "Invite", 1}}, {ssAuthenticating, {ssInviting, "407", 2}},
        {ssTrying, {ssInviting, "100", 0}},        {ssRinging, {ssInviting, "180", 0}},
        {ssCancelling, {ssRinging, "Cancel", 1}},  {ssInCall, {ssInviting, "200", 1}},
        {ssHangingUp, {ssInCall, "Cancel", 1}},    {ssRemoteHangUp, {ssInCall, "BYE", 1}},
        {ssCallFailed, {ssInviting, "Cancel", 0}}, {ssRefused, {ssRegistering, "403", 1}},
        {ssIdle, {ssRegistered, "Unregister", 1}}};
    const auto& [before, input, sent] = kPath.at(state);
    if (state != ssRegistering) Reach(before, afterAnEarlierInvite);
    if (HasFatalFailure()) return;
    if (state == ssInviting && afterAnEarlierInvite) {  // given up before any answer
      Apply("Invite");
      ASSERT_EQ(Sent(1).size(), 1u) << "no INVITE";
      earlier_ = last_;
      Apply("Cancel");
    }
    Apply(input);
    ASSERT_EQ(Sent(sent).size(), sent)
        << "datagrams sent on " << input << " towards " << StateName(state);
    if (state == ssInCall) callAck_ = last_;
    if (state == ssIdle) Apply("200");
    ASSERT_STREQ(StateName(engine_.State()), StateName(state));
    events_.clear();
  }

  const std::string kAnswer = "v=0\r\nc=IN IP4 127.0.0.1\r\nm=audio 40000 RTP/AVP 8\r\n";
  testsupport::EventLoopHandOff loop_;  // before the engine: its destruction still raises events
  testsupport::LoopbackPeer server_;
  static inline bool patienceLost_ = false;
  int handOffs_ = 0;
  bool marked_ = false;
  Strings events_;
  std::string last_;  // the last request the engine sent
  std::string invite_, earlier_, callAck_, got_;
  TSIPClient engine_{platform::Window{&loop_, this}, platform::MessageNumber::SipHandOff, 0,
                     server_.Port()};
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
  Reach(row.From, row.Input.ends_with("earlier INVITE"));
  ASSERT_FALSE(HasFatalFailure()) << "could not reach " << StateName(row.From);
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
        Row{ssRegistered, "BYE", ssRegistered, {"200"}, {}},
        Row{ssRegistered, "OPTIONS", ssRegistered, {}, {}},
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
        Row{ssRinging, "180", ssRinging, {}, {}}, Row{ssRinging, "487", ssRinging, {}, {}},
        Row{ssRinging, "200", ssInCall, {"ACK"}, kAnswered},
        Row{ssCancelling, "200", ssCancelling, {}, {}},
        Row{ssCancelling, "487", ssCallFailed, {"ACK"}, {"ssCallFailed", "OnCallEnded"}},
        Row{ssCancelling, "403", ssRefused, {"ACK"}, {"ssRefused", "OnCallEnded"}},
        Row{ssInCall, "200", ssInCall, {}, {}},
        Row{ssInCall, "BYE", ssRemoteHangUp, {"200"}, {"ssRemoteHangUp", "OnCallEnded"}},
        Row{ssHangingUp, "200", ssRegistered, {}, {"ssRegistered", "OnCallEnded"}},
        Row{ssHangingUp, "487", ssHangingUp, {}, {}},
        Row{ssRemoteHangUp, "200", ssRemoteHangUp, {}, {}},
        Row{ssCallFailed, "180", ssCallFailed, {}, {}}, Row{ssRefused, "401", ssRefused, {}, {}}));

// The far end's requests inside the call; those of another dialog are refused unanswered.
INSTANTIATE_TEST_SUITE_P(
    Requests, TransitionTest,
    ::testing::Values(Row{ssInCall, "INVITE", ssInCall, {"200"}, {"OnCallUpdated"}},
                      Row{ssInCall, "UPDATE", ssInCall, {"200"}, {}},
                      Row{ssInCall, "OPTIONS", ssInCall, {"200"}, {}},
                      Row{ssInCall, "INFO", ssInCall, {"200"}, {}},
                      Row{ssInCall, "NOTIFY", ssInCall, {"200"}, {}},
                      Row{ssInCall, "ACK", ssInCall, {}, {}},
                      Row{ssInCall, "REFER", ssInCall, {"501"}, {}},
                      Row{ssInCall, "OPTIONS of another call", ssInCall, {}, {}},
                      Row{ssRinging, "OPTIONS", ssRinging, {}, {}},
                      Row{ssHangingUp, "OPTIONS", ssHangingUp, {}, {}}));

// Each response counts for the request it answers, whatever the state expects.
INSTANTIATE_TEST_SUITE_P(
    Matching, TransitionTest,
    ::testing::Values(
        Row{ssInviting, "180 terse", ssRinging, {}, {"ssRinging"}},
        Row{ssRinging, "200 terse", ssInCall, {"ACK"}, kAnswered},
        Row{ssHangingUp, "200 terse", ssRegistered, {}, {"ssRegistered", "OnCallEnded"}},
        Row{ssInviting, "200 BYE", ssInviting, {}, {}},
        Row{ssHangingUp, "200 BYE", ssHangingUp, {}, {}},
        Row{ssInCall, "200 INVITE", ssInCall, {"the same ACK"}, {}},
        Row{ssHangingUp, "200 INVITE", ssHangingUp, {"the same ACK"}, {}},
        Row{ssRemoteHangUp, "200 INVITE", ssRemoteHangUp, {"the same ACK"}, {}},
        Row{ssCancelling,
            "200 INVITE",
            ssCallFailed,
            {"ACK", "BYE"},
            {"ssCallFailed", "OnCallEnded"}},
        Row{ssInviting, "200 earlier INVITE", ssInviting, {"ACK", "BYE"}, {}},
        Row{ssAuthenticating, "200 earlier INVITE", ssAuthenticating, {"ACK", "BYE"}, {}},
        Row{ssTrying, "200 earlier INVITE", ssTrying, {"ACK", "BYE"}, {}},
        Row{ssRinging, "200 earlier INVITE", ssRinging, {"ACK", "BYE"}, {}},
        Row{ssCancelling, "200 earlier INVITE", ssCancelling, {"ACK", "BYE"}, {}},
        Row{ssInCall, "200 earlier INVITE", ssInCall, {"ACK", "BYE"}, {}},
        Row{ssHangingUp, "200 earlier INVITE", ssHangingUp, {"ACK", "BYE"}, {}},
        Row{ssRemoteHangUp, "200 earlier INVITE", ssRemoteHangUp, {"ACK", "BYE"}, {}},
        Row{ssCallFailed, "200 earlier INVITE", ssCallFailed, {"ACK", "BYE"}, {}}));

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
        Row{ssIdle, "Invite", ssIdle, {}, {}},
        // On the way out: the call hung up (given up while it rings), then the un-registration.
        Row{ssInCall, "Close", ssRegistering, {"BYE", "REGISTER"}, {"ssRegistering"}},
        Row{ssRinging, "Close", ssRegistering, {"CANCEL", "REGISTER"}, {"ssRegistering"}},
        Row{ssInviting, "Close", ssRegistering, {"CANCEL", "REGISTER"}, {"ssRegistering"}},
        Row{ssRegistered, "Close", ssRegistering, {"REGISTER"}, {"ssRegistering"}}));

TEST_F(EngineTest, FailuresTheUserStartedAreReported) {
  User([&] { engine_.Register("A", "", "1", "p"); });  // the end-to-end runs meet 10048
  EXPECT_EQ(events_, Strings{"OnSIPError 1"});
  Reach(ssRegistering);
  std::string challenge = Response(401);
  const std::size_t header = challenge.find("WWW-Authenticate:");
  challenge.erase(header, challenge.find("\r\n", header) + 2 - header);
  ASSERT_TRUE(Deliver(challenge));  // a challenge without its header
  EXPECT_EQ(events_, (Strings{"ssAuthenticating", "OnSIPError 6"}));
  EXPECT_EQ(Sent(), Strings{});
}

// The request sent again answers the challenge for itself, with its method and its URI, as
// md5sum computes the digest.
TEST_F(EngineTest, AChallengedRequestIsSentAgainWithItsOwnCredentials) {
  using testsupport::Md5sum;
  const std::string ha1 = Md5sum("0123:127.0.0.1:pw");
  for (const auto& [state, challenge, header, method, uri] :
       {std::tuple{ssRegistering, "401", "Authorization", "REGISTER", "sip:127.0.0.1"},
        std::tuple{ssInviting, "407", "Proxy-Authorization", "INVITE", "sip:0612@127.0.0.1"}}) {
    Reach(state);
    Apply(challenge);
    ASSERT_EQ(Sent(state == ssInviting ? 2 : 1).back(), method);
    const std::string response = Md5sum(ha1 + ":n0nce:" + Md5sum(method + std::string(":") + uri));
    EXPECT_TRUE(last_.starts_with(method + std::string(" ") + uri + " SIP/2.0\r\n"));
    EXPECT_NE(
        last_.find("\r\n" + std::string(header) +
                   ": Digest username=\"0123\",realm=\"127.0.0.1\",nonce=\"n0nce\",response=\"" +
                   response + "\",uri=\"" + uri + "\""),
        std::string::npos)
        << last_;
  }
}

// A domain given as a name is looked up off the main thread: an attempt given up meanwhile
// sends nothing once the address is in; otherwise the REGISTER follows the address's message.
TEST_F(EngineTest, ADomainNameIsLookedUpOffTheMainThread) {
  for (const bool givenUp : {true, false}) {
    User([&] { engine_.Register("Alice", "localhost", "0123", "pw"); });
    EXPECT_EQ(engine_.State(), ssIdle);
    if (givenUp) User([&] { engine_.Cancel(); });
    loop_.RunUntil([&] { return engine_.State() == ssRegistering; }, givenUp ? 300ms : Patience());
    EXPECT_EQ(Sent(givenUp ? 0 : 1), givenUp ? Strings{} : Strings{"REGISTER"});
    EXPECT_EQ(events_, givenUp ? Strings{"OnCallEnded"} : Strings{"ssRegistering"});
    events_.clear();
  }
}

// Looked up ahead (as the window opens), the name costs the click nothing: nothing leaves
// before it, and the REGISTER has left when the click's handling returns.
TEST_F(EngineTest, ADomainLookedUpAheadRegistersWithTheClick) {
  User([&] { engine_.LookAhead("localhost"); });
  ASSERT_TRUE(loop_.RunUntil([&] { return handOffs_ == 1; }, Patience()));
  EXPECT_EQ(Sent(), Strings{});
  User([&] { engine_.Register("Alice", "localhost", "0123", "pw"); });
  EXPECT_EQ(events_, Strings{"ssRegistering"});
  EXPECT_EQ(Sent(1), Strings{"REGISTER"});
}

// A request of the far end inside the call (a re-INVITE) names us in its To: the hang-up must
// still name the far end, as the answer to our INVITE did.
TEST_F(EngineTest, TheFarEndsRequestsLeaveTheHangUpAddressedToIt) {
  Reach(ssInCall);
  const std::string farEnd = GetHeader(last_, "To");  // of our ACK to the answer
  EXPECT_TRUE(Deliver(Request("INVITE", kAnswer)));
  ASSERT_EQ(Sent(1), Strings{"200"});
  User([&] { engine_.Cancel(); });
  ASSERT_EQ(Sent(1), Strings{"BYE"});
  EXPECT_EQ(GetHeader(last_, "To"), farEnd);
}

// The far end's session refresh gets our session as we offered it, and a repeat of it (our
// answer lost) the same answer again.
TEST_F(EngineTest, AReInviteIsAnsweredWithOurSessionAsOffered) {
  Reach(ssInCall);
  const std::string offer = invite_.substr(invite_.find("\r\n\r\n") + 4);
  ASSERT_TRUE(offer.starts_with("v=0\r\n"));
  std::string answers[2];
  for (std::string& answer : answers) {
    ASSERT_TRUE(Deliver(Request("INVITE", kAnswer)));
    ASSERT_EQ(Sent(1), Strings{"200"});
    answer = got_;
  }
  EXPECT_EQ(answers[0], answers[1]);
  EXPECT_NE(answers[0].find("\r\nContact: Alice <sip:0123@127.0.0.1>\r\n"
                            "Content-Type: application/sdp\r\n"),
            std::string::npos);
  EXPECT_TRUE(answers[0].ends_with("\r\n\r\n" + offer));
  EXPECT_EQ(engine_.RemoteSDP(), kAnswer);
}

// Each RFC 4475 message with our Call-ID, in a call: dropped by the receive thread, handed
// over and refused (error 5), or a valid response the state ignores. Nothing is sent, no
// event is raised, the state stays; then only a BYE of our dialog ends the call.
TEST_F(EngineTest, TortureMessagesLeaveTheCallAsItWas) {
  enum Outcome { kDropped, kError5, kIgnored };
  // Dropped: no blank line (baddn), a body shorter than announced (clerr), no Call-ID (insuf),
  // over one Ethernet frame (longreq).
  // Ignored: the valid responses, which answer nothing of ours. Refused: every request, none
  // of the call's dialog, and the status line out of range.
  const std::map<std::string, Outcome> outcomes = {
      {"baddn", kDropped},    {"clerr", kDropped},   {"insuf", kDropped},
      {"longreq", kDropped},  {"bcast", kIgnored},   {"noreason", kIgnored},
      {"scalarlg", kIgnored}, {"unreason", kIgnored}};  // every other message is refused
  Reach(ssInCall);
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(TELVARION_TEST_DATA "/rfc4475"))
    if (entry.path().extension() == ".dat") files.push_back(entry.path());
  const auto outcome = [&](const std::filesystem::path& file) {
    const auto found = outcomes.find(file.stem().string());
    return found == outcomes.end() ? kError5 : found->second;
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
