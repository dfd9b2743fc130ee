#include "sip/CustomSIPClient.h"

#include <utility>

#include "platform/Address.h"
#include "platform/SilentAbort.h"
#include "platform/SocketError.h"
#include "platform/TickCount.h"
#include "sip/Digest.h"
#include "sip/SdpOffer.h"

namespace sip {

namespace {

constexpr int kStatusTrying = 100;
constexpr int kStatusRinging = 180;
constexpr int kStatusOk = 200;
constexpr int kStatusForbidden = 403;
constexpr int kStatusRequestTerminated = 487;

bool IsChallenge(int code) {
  return code == kStatusUnauthorized || code == kStatusProxyAuthenticationRequired;
}

}  // namespace

TCustomSIPClient::TCustomSIPClient(const platform::Window& window,
                                   platform::MessageNumber messageNumber, std::uint16_t localPort,
                                   std::uint16_t serverPort)
    : window_(window),
      message_(messageNumber),
      localPort_(localPort),
      serverPort_(serverPort),
      createdTick_(platform::GetTickCount()) {}

TCustomSIPClient::~TCustomSIPClient() {
  platform::RunGuarded([this] { TCustomSIPClient::Close(); });
}

template <typename Step>
void TCustomSIPClient::Reported(Step&& step) {
  try {
    struct Depth {
      int& depth;
      explicit Depth(int& d) : depth(d) { ++depth; }
      ~Depth() { --depth; }
    } depth(reportDepth_);
    step();
  } catch (const platform::SilentAbort&) {
    if (reportDepth_ == 0) SIPError();
    throw;
  }
}

void TCustomSIPClient::SetMedia(const std::string& address, std::uint16_t port) {
  sdpOffer_ = BuildSdpOffer(createdTick_, platform::GetTickCount(), address, port);
}

void TCustomSIPClient::Register(const std::string& displayName, const std::string& domain,
                                const std::string& userID, const std::string& password) {
  Reported([&] {
    Close();
    displayName_ = displayName;
    domain_ = domain;
    userID_ = userID;
    password_ = password;
    headerBlock_.clear();
    receiveBuffer_.clear();
    if (!platform::NeedsNameLookup(domain)) return Connect(platform::ResolveAddress(domain));
    if (known_ && known_->Host == domain && known_->Address != platform::kNoAddress &&
        std::chrono::steady_clock::now() - knownAt_ < kLookedUpFor) {
      return Connect(known_->Address);
    }
    // A name server that does not answer must not hold the window: the registration goes on
    // in Connect once the name's address has come back in a message.
    awaiting_ = true;
    lookup_.Start(window_, message_, domain);
  });
}

void TCustomSIPClient::LookAhead(const std::string& domain) {
  if (awaiting_ || !platform::NeedsNameLookup(domain)) return;
  lookup_.Start(window_, message_, domain);
}

void TCustomSIPClient::Connect(std::uint32_t server) {
  if (server == platform::kNoAddress) Fail(net::kErrorNoAddress);
  serverAddressText_ = platform::AddressToText(server);

  composer_.SetAccount(displayName_, domain_, userID_, platform::GetTickCount());
  Open();
  Bind(localPort_);
  threadCallID_ = composer_.DialogCallID();
  thread_.Start(
      window_, [this] { return ReceiveOne(); }, [this] { InterruptReceive(); });
  serverAddress_ = platform::MakeSocketAddress(serverPort_, server);

  registered_ = false;
  dialogs_.Forget();
  state_ = ssIdle;
  pending_ = pkRegister;
  SetState(ssRegistering);
  Send(composer_.Register());
}

void TCustomSIPClient::Unregister() {
  Reported([&] {
    SetState(ssRegistering);
    pending_ = pkUnregister;
    Send(composer_.Unregister());
  });
}

void TCustomSIPClient::Invite(const std::string& number) {
  if (state_ != ssRegistered && state_ != ssCallFailed && state_ != ssRemoteHangUp) return;
  Reported([&] {
    calledNumber_ = number;
    composer_.CallTo(number);
    SetState(ssInviting);
    pending_ = pkInvite;
    SendInvite("");
  });
}

void TCustomSIPClient::Cancel() {
  // A registration still waiting for its server's address is given up with the rest.
  lookup_.Cancel();
  awaiting_ = false;
  Reported([&] {
    switch (state_) {
      case ssRegistering:
      case ssInviting:
        SetState(ssCallFailed);
        CallEnded();
        break;
      case ssRegistered:
        Unregister();
        break;
      case ssAuthenticating:
      case ssTrying:
      case ssRinging:
        SetState(ssCancelling);
        Send(composer_.Cancel());
        break;
      case ssInCall:
        SetState(ssHangingUp);
        Send(composer_.Bye());
        break;
      // Requests are sent once: a BYE or CANCEL whose answer never comes (the server went
      // away, a datagram was lost) would otherwise leave a state from which no call can be
      // placed. The user's second stop gives the request up as its answer would have.
      case ssHangingUp:
        SetState(ssRegistered);
        CallEnded();
        break;
      case ssCancelling:
        SetState(ssCallFailed);
        CallEnded();
        break;
      default:
        CallEnded();
        break;
    }
  });
}

void TCustomSIPClient::Dispatch(const platform::WindowMessage& message) {
  if (const auto* resolved = std::get_if<platform::ResolvedName>(&message.Data)) {
    known_ = *resolved;
    knownAt_ = std::chrono::steady_clock::now();
    if (std::exchange(awaiting_, false)) Reported([&] { Connect(resolved->Address); });
    return;
  }
  const auto* framed = std::get_if<platform::FramedMessage>(&message.Data);
  if (framed == nullptr) return;
  headerBlock_ = framed->HeaderBlock;
  receiveBuffer_ = framed->Body;
  HandleMessage();
}

void TCustomSIPClient::Close() {
  // A Reported scope of its own, so that the best-effort un-registration below never raises
  // the error event: closing is not an operation the user waits on.
  lookup_.Cancel();
  awaiting_ = false;
  Reported([&] {
    platform::RunGuarded([this] { HangUpForGood(); });
    if (registered_) {
      // Cleared first: a later Register must not send a second un-registration on the
      // closed socket, and a failed send must not keep the socket open.
      registered_ = false;
      platform::RunGuarded([this] { Unregister(); });
    }
    thread_.Stop();
    TCustomUDPClient::Close();
  });
}

std::optional<platform::WindowMessage> TCustomSIPClient::ReceiveOne() {
  platform::FramedMessage framed;
  ReceiveFrom(framed.Body);
  if (framed.Body.empty()) return std::nullopt;
  if (FrameDatagram(framed.Body, framed.HeaderBlock) != FrameResult::kMessage) return std::nullopt;
  // A datagram of another dialog would otherwise overwrite the remote To of ours, or end
  // the call with a BYE, for anyone who can reach the port.
  if (!CarriesCallID(framed.HeaderBlock, threadCallID_)) return std::nullopt;
  return platform::WindowMessage{message_, std::move(framed)};
}

void TCustomSIPClient::HandleMessage() {
  if (IsByeRequest(headerBlock_)) {
    Reported([&] { SendResponse("200 OK"); });
    if (state_ == ssInCall) {
      SetState(ssRemoteHangUp);
      CallEnded();
    }
    return;
  }
  // Unanswered, the far end's request would be repeated for 32 s and then end the call
  // (RFC 3261 12.2.1.2); a request of another dialog is refused below as any request is.
  if (const std::string_view method = RequestMethod(headerBlock_);
      !method.empty() && state_ == ssInCall &&
      dialogs_.IsOfCall(headerBlock_, composer_.FromTag())) {
    return Reported([&] { AnswerInCall(method); });
  }
  const int code = StatusCode();
  // A response whose CSeq cannot be read answers nothing of ours.
  const std::optional<TCSeq> answered = ParseCSeq(headerBlock_);
  if (answered) Reported([&] { ActOnResponse(code, *answered); });
}

bool TCustomSIPClient::AwaitsAnswer(const TCSeq& answered) const {
  const TSipTransaction& pending = composer_.Current();
  if (answered.Number != pending.CSeq) return false;
  switch (state_) {
    case ssRegistering:
    case ssInviting:
    case ssAuthenticating:
    case ssTrying:
    case ssRinging:
    case ssHangingUp:
      return answered.Method == pending.Method;
    case ssCancelling:
      return answered.Method == pending.Method || answered.Method == kMethodCancel;
    default:
      return false;
  }
}

void TCustomSIPClient::ActOnResponse(int code, const TCSeq& answered) {
  const bool awaited = AwaitsAnswer(answered);
  if (code == kStatusOk && answered.Method == kMethodInvite &&
      (!awaited || state_ == ssCancelling)) {
    return OtherInviteAnswered(answered, awaited);
  }
  // A late answer to a request given up, or to one of another call, changes nothing.
  if (!awaited) return;
  // Only a response names the far end for our ACK and BYE: a request of the far end carries
  // our own address in its To.
  composer_.Answered(GetHeader(headerBlock_, "To"));
  // A refusal ends whatever was under way, in any state.
  if (code == kStatusForbidden) return AcknowledgeAndEnd(ssRefused);
  switch (state_) {
    case ssRegistering:
      if (code == kStatusTrying) SetState(ssTrying);
      if (IsChallenge(code)) Challenged();
      if (code == kStatusOk) FinalAnswer();
      break;
    case ssInviting:
      if (code == kStatusTrying) SetState(ssTrying);
      if (code == kStatusRinging) SetState(ssRinging);
      if (IsChallenge(code)) Challenged();
      if (code == kStatusOk) FinalAnswer();
      break;
    case ssAuthenticating:
      // A second challenge for the re-sent request is not answered again.
      if (code == kStatusTrying) SetState(ssTrying);
      if (code == kStatusRinging) SetState(ssRinging);
      if (code == kStatusOk) FinalAnswer();
      break;
    case ssTrying:
      if (code == kStatusRinging) SetState(ssRinging);
      if (code == kStatusOk) FinalAnswer();
      break;
    case ssRinging:
      if (code == kStatusOk) FinalAnswer();
      break;
    case ssCancelling:
      // The 200 to the CANCEL changes nothing; the INVITE's 200 comes to OtherInviteAnswered.
      if (code == kStatusRequestTerminated) AcknowledgeAndEnd(ssCallFailed);
      break;
    case ssHangingUp:
      if (code == kStatusOk) {
        SetState(ssRegistered);
        CallEnded();
      }
      break;
    default:
      // Idle, registered, refused, failed, in a call or hung up on: no request awaits an answer.
      break;
  }
}

void TCustomSIPClient::FinalAnswer() {
  switch (pending_) {
    case pkRegister:
      SetState(ssRegistered);
      Registered();
      break;
    case pkInvite: {
      SetState(ssInCall);
      CallAnswered();
      const std::string ack = composer_.Ack();
      dialogs_.Acknowledged(composer_.Current().CSeq, ack,
                            HeaderParameter(composer_.RemoteTo(), "tag"));
      Send(ack);
      break;
    }
    case pkUnregister:
      registered_ = false;
      SetState(ssIdle);
      Close();
      break;
  }
}

void TCustomSIPClient::OtherInviteAnswered(const TCSeq& answered, bool crossedOurCancel) {
  TCallDialogs::SentInvite* const invite = dialogs_.Find(answered.Number);
  if (invite == nullptr) return;
  // The far end repeats its 200 until our ACK reaches it (RFC 3261 13.3.1.4).
  if (!invite->Ack.empty()) return Send(invite->Ack);
  // Answered as the user gave it up: nobody would hear the far end, which stays in the call.
  const std::string to = GetHeader(headerBlock_, "To");
  const std::string ack = composer_.AckOf(invite->Transaction, to);
  dialogs_.Acknowledged(answered.Number, ack);
  Send(ack);
  Send(composer_.ByeAfter(invite->Transaction, to));
  // Its 487 will never come.
  if (crossedOurCancel) {
    SetState(ssCallFailed);
    CallEnded();
  }
}

void TCustomSIPClient::AnswerInCall(std::string_view method) {
  const TCallDialogs::Answer answer =
      dialogs_.AnswerTo(method, receiveBuffer_, composer_.ContactLine());
  if (answer.Silent) return;
  Send(TSipComposer::ComposeResponse(answer.Status, headerBlock_, serverAddressText_,
                                     answer.ExtraHeaders, answer.Body));
  if (answer.NewOffer) {
    remoteSDP_ = receiveBuffer_;
    CallUpdated();
  }
}

void TCustomSIPClient::HangUpForGood() {
  switch (state_) {
    case ssInCall:
      Send(composer_.Bye());
      break;
    // Before any answer too, unlike a Cancel (RFC 3261 9.1 would wait for one): there is no
    // later moment, and a phone that rang on would be answered by nobody.
    case ssInviting:
    case ssAuthenticating:
    case ssTrying:
    case ssRinging:
      if (pending_ == pkInvite) Send(composer_.Cancel());
      break;
    default:
      break;
  }
}

void TCustomSIPClient::Challenged() {
  SetState(ssAuthenticating);
  Authenticate();
}

void TCustomSIPClient::AcknowledgeAndEnd(TSIPState state) {
  SetState(state);
  Send(composer_.Ack());
  CallEnded();
}

void TCustomSIPClient::Authenticate() {
  const std::optional<std::string> credentials =
      BuildAuthorization(responseCode_, headerBlock_, userID_, password_, composer_.LastMethod(),
                         composer_.Current().RequestURI);
  if (!credentials) Fail(net::kErrorBadChallenge);
  if (composer_.LastMethod() != kMethodInvite) return Send(composer_.Register(*credentials));
  Send(composer_.Ack());
  SendInvite(*credentials);
}

int TCustomSIPClient::StatusCode() {
  const std::optional<int> code = ParseStatusCode(headerBlock_);
  if (!code) Fail(net::kErrorInvalidResponse);
  responseCode_ = *code;
  return *code;
}

void TCustomSIPClient::SendInvite(const std::string& credentials) {
  std::string invite = composer_.Invite(sdpOffer_, credentials);
  dialogs_.Sent(composer_.Current(), sdpOffer_);
  Send(std::move(invite));
}

void TCustomSIPClient::Send(std::string text) {
  sendBuffer_ = std::move(text);
  SendBuffer();
}

void TCustomSIPClient::SendResponse(std::string_view status) {
  Send(TSipComposer::ComposeResponse(status, headerBlock_, serverAddressText_));
}

void TCustomSIPClient::SendBuffer() {
  if (!IsOpen()) Fail(net::kErrorSocketClosed);
  while (!sendBuffer_.empty()) {
    const int sent =
        platform::SendTo(Socket(), sendBuffer_.data(), sendBuffer_.size(), serverAddress_);
    if (sent == 0) Fail(net::kErrorNothingSent);
    if (sent == platform::kSocketError) {
      const int error = platform::LastSocketError();
      if (error == platform::kWsaWouldBlock) {
        sendBuffer_.clear();  // the message is lost: there is no retransmission anyway
        return;
      }
      Fail(error);
    }
    sendBuffer_.clear();
  }
}

}  // namespace sip
