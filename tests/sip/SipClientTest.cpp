// The engine against a fake server on loopback: every transition, what goes on the wire and
// which events are raised.
#include "sip/SipClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "SipClientFixture.h"
#include "platform/EventLoopHandOff.h"
#include "platform/SilentAbort.h"
#include "platform/Socket.h"
#include "sip/Digest.h"
#include "sip/SipMessage.h"
#include "support/LoopbackPeer.h"

namespace sip {
namespace {

using namespace std::chrono_literals;

class SipClientTest : public SipClientFixture {};

// --- Responses and requests from the server, state by state -------------------------------

struct Row {
  TSIPState From;
  int Code;  // 0: the server's BYE
  TSIPState To;
  Strings Sent;
  Strings Events;
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << StateName(row.From) << " + " << (row.Code ? std::to_string(row.Code) : "BYE");
}

class TransitionTest : public SipClientFixture, public ::testing::WithParamInterface<Row> {};

TEST_P(TransitionTest, StateSentAndEvents) {
  const Row& row = GetParam();
  Reach(row.From);
  if (row.Code == 0) {
    Deliver(Bye());
  } else {
    DeliverResponse(row.Code, row.Code == 200 ? kAnswer : "");
  }
  EXPECT_STREQ(StateName(client_.State), StateName(row.To));
  EXPECT_EQ(SentMethods(), row.Sent);
  EXPECT_EQ(events_, row.Events);
}

const Row kRows[] = {
    {ssRegistering, 100, ssTrying, {}, {"ssTrying"}},
    {ssRegistering, 180, ssRegistering, {}, {}},
    {ssRegistering, 200, ssRegistered, {}, {"ssRegistered", "OnRegistered"}},
    {ssRegistering, 401, ssAuthenticating, {"REGISTER"}, {"ssAuthenticating"}},
    {ssRegistering, 407, ssAuthenticating, {"REGISTER"}, {"ssAuthenticating"}},
    {ssRegistering, 403, ssRefused, {"ACK"}, {"ssRefused", "OnCallEnded"}},
    {ssRegistering, 486, ssRegistering, {}, {}},
    {ssRegistered, 200, ssRegistered, {}, {}},
    {ssRegistered, 0, ssRegistered, {"SIP/2.0"}, {}},
    {ssRegistered, 401, ssRegistered, {}, {}},
    {ssInviting, 100, ssTrying, {}, {"ssTrying"}},
    {ssInviting, 180, ssRinging, {}, {"ssRinging"}},
    {ssInviting, 200, ssInCall, {"ACK"}, {"ssInCall", "OnCallAnswered"}},
    {ssInviting, 407, ssAuthenticating, {"ACK", "INVITE"}, {"ssAuthenticating"}},
    {ssInviting, 403, ssRefused, {"ACK"}, {"ssRefused", "OnCallEnded"}},
    {ssInviting, 486, ssInviting, {}, {}},
    {ssInviting, 487, ssInviting, {}, {}},
    {ssAuthenticating, 401, ssAuthenticating, {}, {}},
    {ssAuthenticating, 407, ssAuthenticating, {}, {}},
    {ssAuthenticating, 100, ssTrying, {}, {"ssTrying"}},
    {ssAuthenticating, 180, ssRinging, {}, {"ssRinging"}},
    {ssAuthenticating, 200, ssInCall, {"ACK"}, {"ssInCall", "OnCallAnswered"}},
    {ssTrying, 100, ssTrying, {}, {}},
    {ssTrying, 180, ssRinging, {}, {"ssRinging"}},
    {ssTrying, 486, ssTrying, {}, {}},
    {ssTrying, 200, ssInCall, {"ACK"}, {"ssInCall", "OnCallAnswered"}},
    {ssRinging, 180, ssRinging, {}, {}},
    {ssRinging, 486, ssRinging, {}, {}},
    {ssRinging, 200, ssInCall, {"ACK"}, {"ssInCall", "OnCallAnswered"}},
    {ssCancelling, 200, ssCancelling, {}, {}},
    {ssCancelling, 487, ssCallFailed, {"ACK"}, {"ssCallFailed", "OnCallEnded"}},
    {ssCancelling, 403, ssRefused, {"ACK"}, {"ssRefused", "OnCallEnded"}},
    {ssInCall, 200, ssInCall, {}, {}},
    {ssInCall, 0, ssRemoteHangUp, {"SIP/2.0"}, {"ssRemoteHangUp", "OnCallEnded"}},
    {ssHangingUp, 200, ssRegistered, {}, {"ssRegistered", "OnCallEnded"}},
    {ssHangingUp, 0, ssHangingUp, {"SIP/2.0"}, {}},
    {ssRemoteHangUp, 200, ssRemoteHangUp, {}, {}},
    {ssCallFailed, 200, ssCallFailed, {}, {}},
    {ssRefused, 200, ssRefused, {}, {}},
    {ssRefused, 401, ssRefused, {}, {}},
};

INSTANTIATE_TEST_SUITE_P(Engine, TransitionTest, ::testing::ValuesIn(kRows));

// --- The user's operations, state by state -------------------------------------------------

struct UserRow {
  TSIPState From;
  const char* Operation;
  TSIPState To;
  Strings Sent;
  Strings Events;
};

void PrintTo(const UserRow& row, std::ostream* out) {
  *out << StateName(row.From) << " + " << row.Operation;
}

class UserOperationTest : public SipClientFixture, public ::testing::WithParamInterface<UserRow> {};

TEST_P(UserOperationTest, StateSentAndEvents) {
  const UserRow& row = GetParam();
  Reach(row.From);
  if (std::string(row.Operation) == "Invite") {
    User([&] { client_.Invite("0699999999"); });
  } else {
    User([&] { client_.Cancel(); });
  }
  EXPECT_STREQ(StateName(client_.State), StateName(row.To));
  EXPECT_EQ(SentMethods(), row.Sent);
  EXPECT_EQ(events_, row.Events);
}

const UserRow kUserRows[] = {
    {ssIdle, "Invite", ssIdle, {}, {}},
    {ssRefused, "Invite", ssRefused, {}, {}},
    {ssInCall, "Invite", ssInCall, {}, {}},
    {ssHangingUp, "Invite", ssHangingUp, {}, {}},
    {ssRegistered, "Invite", ssInviting, {"INVITE"}, {"ssInviting"}},
    {ssCallFailed, "Invite", ssInviting, {"INVITE"}, {"ssInviting"}},
    {ssRemoteHangUp, "Invite", ssInviting, {"INVITE"}, {"ssInviting"}},
    {ssRegistering, "Cancel", ssCallFailed, {}, {"ssCallFailed", "OnCallEnded"}},
    {ssInviting, "Cancel", ssCallFailed, {}, {"ssCallFailed", "OnCallEnded"}},
    {ssRegistered, "Cancel", ssRegistering, {"REGISTER"}, {"ssRegistering"}},
    {ssAuthenticating, "Cancel", ssCancelling, {"CANCEL"}, {"ssCancelling"}},
    {ssTrying, "Cancel", ssCancelling, {"CANCEL"}, {"ssCancelling"}},
    {ssRinging, "Cancel", ssCancelling, {"CANCEL"}, {"ssCancelling"}},
    {ssInCall, "Cancel", ssHangingUp, {"BYE"}, {"ssHangingUp"}},
    // An unanswered BYE or CANCEL is given up, and the next call can be placed.
    {ssHangingUp, "Cancel", ssRegistered, {}, {"ssRegistered", "OnCallEnded"}},
    {ssCancelling, "Cancel", ssCallFailed, {}, {"ssCallFailed", "OnCallEnded"}},
    {ssCallFailed, "Cancel", ssCallFailed, {}, {"OnCallEnded"}},
    {ssRefused, "Cancel", ssRefused, {}, {"OnCallEnded"}},
};

INSTANTIATE_TEST_SUITE_P(Engine, UserOperationTest, ::testing::ValuesIn(kUserRows));

// --- Consequences worth their own test -----------------------------------------------------

TEST_F(SipClientTest, ChallengedRegisterIsResentOnceWithCredentials) {
  User([&] { client_.Register("Alice", "127.0.0.1", "0123456789", "s3cret"); });
  const std::string first = NextSent();
  EXPECT_NE(first.find("CSeq: 1 REGISTER\r\n"), std::string::npos);
  DeliverResponse(401);
  const std::string second = NextSent();
  EXPECT_NE(second.find("CSeq: 2 REGISTER\r\n"), std::string::npos);
  EXPECT_EQ(GetHeader(second, "Call-ID"), GetHeader(first, "Call-ID"));
  EXPECT_EQ(GetHeader(second, "From"), GetHeader(first, "From"));
  EXPECT_NE(GetHeader(second, "Via"), GetHeader(first, "Via"));
  const std::string expectedResponse = DigestResponse(
      PasswordDigest("0123456789", "127.0.0.1", "s3cret"), "n0nce", "REGISTER", "sip:127.0.0.1");
  EXPECT_EQ(GetHeader(second, "Authorization"),
            " Digest username=\"0123456789\",realm=\"127.0.0.1\",nonce=\"n0nce\",response=\"" +
                expectedResponse + "\",uri=\"sip:127.0.0.1\",algorithm=MD5,opaque=\"0paque\"");

  // A second challenge is ignored: one re-sent request only.
  DeliverResponse(401);
  EXPECT_EQ(SentMethods(), Strings{});
  EXPECT_EQ(client_.State, ssAuthenticating);
  DeliverResponse(200);
  EXPECT_EQ(client_.State, ssRegistered);
  EXPECT_TRUE(client_.IsRegistered);
}

TEST_F(SipClientTest, TryingDuringRegistrationThenOkStillRegisters) {
  Reach(ssRegistering);
  DeliverResponse(100);
  DeliverResponse(200);
  EXPECT_EQ(events_, (Strings{"ssTrying", "ssRegistered", "OnRegistered"}));
}

TEST_F(SipClientTest, ChallengedInviteIsAcknowledgedThenResentWithTheOffer) {
  Reach(ssInviting);
  const std::string invite = last_;
  DeliverResponse(407);
  const std::string ack = NextSent();
  const std::string resent = NextSent();
  EXPECT_EQ(Method(ack), "ACK");
  EXPECT_EQ(GetHeader(ack, "CSeq"), " 2 ACK");
  EXPECT_EQ(GetHeader(ack, "Via"), GetHeader(invite, "Via"));
  EXPECT_NE(GetHeader(ack, "To").find(";tag=srv1"), std::string::npos);
  EXPECT_EQ(GetHeader(resent, "CSeq"), " 3 INVITE");
  EXPECT_NE(GetHeader(resent, "Proxy-Authorization").find("uri=\"sip:0612345678@127.0.0.1\""),
            std::string::npos);
  EXPECT_NE(resent.find("Content-Type: application/sdp\r\nContent-Length: "), std::string::npos);
  EXPECT_NE(resent.find("m=audio 5004 RTP/AVP 8\r\n"), std::string::npos);
}

TEST_F(SipClientTest, AnsweredCallKeepsTheRemoteSdpAndAcknowledges) {
  Reach(ssInviting);
  DeliverResponse(200, kAnswer);
  EXPECT_EQ(client_.RemoteSDP, kAnswer);
  const std::string ack = NextSent();
  EXPECT_EQ(Method(ack), "ACK");
  EXPECT_EQ(GetHeader(ack, "To"), GetHeader(last_, "To"));
}

TEST_F(SipClientTest, ByeIsAnsweredWithItsFirstViaAndTheServerAddress) {
  Reach(ssInCall);
  Deliver(Bye());
  const std::string answer = NextSent();
  EXPECT_EQ(answer.substr(0, answer.find('\r')), "SIP/2.0 200 OK");
  EXPECT_EQ(GetHeader(answer, "Via"),
            " SIP/2.0/UDP 127.0.0.1:5060;branch=z9hG4bKsrvbye;received=127.0.0.1");
  EXPECT_EQ(GetHeader(answer, "CSeq"), " 77 BYE");
}

TEST_F(SipClientTest, OkToTheUnregistrationClosesFromInsideTheHandOff) {
  Reach(ssRegistered);
  User([&] { client_.Unregister(); });
  EXPECT_NE(NextSent().find("Expires: 0\r\n"), std::string::npos);
  EXPECT_TRUE(client_.IsRegistered);  // until the answer
  DeliverResponse(200);
  EXPECT_EQ(client_.State, ssIdle);
  EXPECT_FALSE(client_.IsRegistered);
  EXPECT_EQ(client_.Socket, platform::kInvalidSocket);
  EXPECT_FALSE(client_.Thread.Running());
  // The port is free again and nothing more is handed over.
  const platform::SocketHandle other = platform::CreateUdpSocket();
  EXPECT_EQ(platform::BindSocket(other, clientPort_), 0);
  platform::CloseSocket(other);
  const int before = handOffs_;
  server_.SendTo(clientPort_, Response(200));
  loop_.RunFor(50ms);
  EXPECT_EQ(handOffs_, before);
}

TEST_F(SipClientTest, KeepAliveAndBrokenDatagramsProduceNoHandOff) {
  Reach(ssRegistered);
  for (const std::string& datagram :
       {std::string("Cirpack KeepAlive Packet"), std::string("SIP/2.0 200 OK\r\n"),
        std::string("SIP/2.0 200 OK\r\nContent-Length: 9\r\n\r\nshort"), std::string()}) {
    server_.SendTo(clientPort_, datagram);
  }
  EXPECT_EQ(loop_.RunFor(100ms), 0);
  EXPECT_EQ(client_.State, ssRegistered);
}

TEST_F(SipClientTest, UnaskedRequestIsError5WithoutAnEventOrAnAnswer) {
  Reach(ssRegistered);
  Deliver("OPTIONS sip:0123456789@127.0.0.1 SIP/2.0\r\nTo: <sip:x@y>;tag=opt\r\ni: " +
          client_.Composer.DialogCallID() + "\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(client_.ErrorCode, kErrorInvalidResponse);
  EXPECT_EQ(client_.Composer.RemoteTo, " <sip:x@y>;tag=opt");
  EXPECT_EQ(client_.State, ssRegistered);
  EXPECT_EQ(SentMethods(), Strings{});
  EXPECT_EQ(events_, Strings{});
}

TEST_F(SipClientTest, DatagramsOfAnotherDialogAreDroppedAndTheCallGoesOn) {
  Reach(ssInCall);
  const std::string remoteTo = client_.Composer.RemoteTo;
  const int before = handOffs_;
  const std::string ours = client_.Composer.DialogCallID();
  std::string answer = Response(200);
  answer.replace(answer.find(ours), ours.size(), "other@host");
  for (const std::string& stray :
       {Bye("forged@127.0.0.1"), Bye(ours + "x"), Bye("x" + ours.substr(1)), answer}) {
    server_.SendTo(clientPort_, stray);
  }
  loop_.RunFor(std::chrono::milliseconds(100));
  EXPECT_EQ(handOffs_, before);
  EXPECT_EQ(client_.State, ssInCall);
  EXPECT_EQ(client_.Composer.RemoteTo, remoteTo);
  EXPECT_EQ(SentMethods(), Strings{});
  // The compact form, in any case, with blanks around the value, is still ours.
  Deliver("BYE sip:0123456789@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:5060\r\nI:  " + ours +
          " \r\nCSeq: 78 BYE\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(client_.State, ssRemoteHangUp);
}

TEST_F(SipClientTest, ErrorsOfTheUsersOperationsRaiseOnSIPErrorOnce) {
  // An unresolvable domain.
  User([&] { client_.Register("Alice", "", "0123456789", "s3cret"); });
  EXPECT_EQ(client_.ErrorCode, net::kErrorNoSocketOrAddress);
  EXPECT_EQ(events_, Strings{"OnSIPError 1"});
  EXPECT_EQ(client_.State, ssIdle);

  // Un-registering with no socket.
  events_.clear();
  User([&] { client_.Unregister(); });
  EXPECT_EQ(client_.ErrorCode, kErrorSocketClosed);
  EXPECT_EQ(events_, (Strings{"ssRegistering", "OnSIPError 7"}));
}

TEST_F(SipClientTest, ANestedFailureRaisesOnSIPErrorOnlyOnce) {
  Reach(ssRegistered);
  client_.Thread.Stop();
  client_.TCustomUDPClient::Close();  // the socket is gone behind the engine's back
  User([&] { client_.Cancel(); });    // Cancel -> Unregister -> send on a closed socket
  EXPECT_EQ(client_.ErrorCode, kErrorSocketClosed);
  EXPECT_EQ(events_, (Strings{"ssRegistering", "OnSIPError 7"}));
}

TEST_F(SipClientTest, TakenLocalPortFailsRegisterWithAddressInUse) {
  testsupport::LoopbackPeer holder;
  TSIPClient client{platform::Window{&loop_, this}, kSipHandOffMessage, holder.Port(),
                    server_.Port()};
  Strings errors;
  client.OnSIPError = [&](TSIPClient& c) { errors.push_back(std::to_string(c.ErrorCode)); };
  User([&] { client.Register("Alice", "127.0.0.1", "0123456789", "s3cret"); });
  EXPECT_EQ(errors, Strings{"10048"});
  EXPECT_EQ(client.State, ssIdle);
  EXPECT_FALSE(client.Thread.Running());
}

TEST_F(SipClientTest, UnusableChallengeIsError6AndTheEngineWaits) {
  Reach(ssRegistering);
  Deliver(Response(401, "WWW-Authenticate: Digest realm=\"r\", nonce=\"n\", algorithm=md5\r\n"));
  EXPECT_EQ(client_.ErrorCode, kErrorBadChallenge);
  EXPECT_EQ(client_.State, ssAuthenticating);
  EXPECT_EQ(events_, (Strings{"ssAuthenticating", "OnSIPError 6"}));
  EXPECT_EQ(SentMethods(), Strings{});
}

TEST_F(SipClientTest, RegisterWhileRegisteredUnregistersOnceAndRegistersAgain) {
  Reach(ssRegistered);
  User([&] { client_.Register("Alice", "127.0.0.1", "0123456789", "s3cret"); });
  EXPECT_EQ(client_.ErrorCode, 0);
  const std::string unregistration = NextSent();
  const std::string registration = NextSent();
  EXPECT_NE(unregistration.find("Expires: 0\r\n"), std::string::npos);
  EXPECT_NE(registration.find("Expires: 1800\r\n"), std::string::npos);
  EXPECT_EQ(client_.State, ssRegistering);
  DeliverResponse(200);
  EXPECT_EQ(client_.State, ssRegistered);
}

TEST_F(SipClientTest, DestructionWhileRegisteredSendsTheUnregistration) {
  const std::uint16_t port = testsupport::FreeLoopbackPort();
  Strings closes;
  {
    TSIPClient client{platform::Window{&loop_, this}, kSipHandOffMessage, port, server_.Port()};
    routed_ = &client;
    client.OnClose = [&](TSIPClient&) { closes.push_back("OnClose"); };
    User([&] { client.Register("Bob", "127.0.0.1", "555", "pw"); });
    NextSent();
    server_.SendTo(port, Response(200));
    ASSERT_TRUE(loop_.RunUntil([&] { return client.IsRegistered; }, 2s));
  }
  routed_ = &client_;
  const std::string last = NextSent();
  EXPECT_EQ(Method(last), "REGISTER");
  EXPECT_NE(last.find("Expires: 0\r\n"), std::string::npos);
  EXPECT_EQ(closes, Strings{"OnClose"});
}

TEST_F(SipClientTest, TwoCallsShareTheCallIDOfTheRegistration) {
  Reach(ssRegistered);
  const std::string callID = GetHeader(last_, "Call-ID");
  User([&] { client_.Invite("111"); });
  EXPECT_EQ(GetHeader(NextSent(), "Call-ID"), callID);
  User([&] { client_.Cancel(); });
  User([&] { client_.Invite("222"); });
  const std::string second = NextSent();
  EXPECT_EQ(GetHeader(second, "Call-ID"), callID);
  EXPECT_EQ(GetHeader(second, "CSeq"), " 3 INVITE");
}

}  // namespace
}  // namespace sip
