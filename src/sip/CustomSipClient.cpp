#include "sip/CustomSipClient.h"

#include "platform/Address.h"
#include "platform/SilentAbort.h"
#include "platform/SocketError.h"
#include "platform/TickCount.h"
#include "sip/Digest.h"
#include "sip/SdpOffer.h"
#include "sip/SipMessage.h"

namespace sip {

namespace {

constexpr int kStatusTrying = 100;
constexpr int kStatusRinging = 180;
constexpr int kStatusOk = 200;
constexpr int kStatusForbidden = 403;
constexpr int kStatusRequestTerminated = 487;

bool AwaitsFinalAnswer(TSIPState state) {
  switch (state) {
    case ssRegistering:
    case ssInviting:
    case ssAuthenticating:
    case ssTrying:
    case ssRinging:
      return true;
    default:
      return false;
  }
}

}  // namespace

TCustomSIPClient::TCustomSIPClient(const platform::Window& window, std::uint32_t messageNumber,
                                   std::uint16_t localPort, std::uint16_t serverPort)
    : Window(window),
      MessageNumber(messageNumber),
      CreatedTick(platform::GetTickCount()),
      localPort_(localPort),
      serverPort_(serverPort) {}

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
  SDPOffer = BuildSdpOffer(CreatedTick, platform::GetTickCount(), address, port);
}

void TCustomSIPClient::Register(const std::string& displayName, const std::string& domain,
                                const std::string& userID, const std::string& password) {
  Reported([&] {
    Close();
    DisplayName = displayName;
    Domain = domain;
    UserID = userID;
    Password = password;
    HeaderBlock.clear();
    ReceiveBuffer.clear();

    const std::uint32_t server = platform::ResolveAddress(domain);
    if (server == platform::kNoAddress) Fail(net::kErrorNoSocketOrAddress);
    ServerAddressText = platform::AddressToText(server);

    Composer.SetAccount(displayName, domain, userID, platform::GetTickCount());
    Open();
    Bind(localPort_);
    threadCallID_ = Composer.DialogCallID();
    Thread.Start(
        Window, [this] { return ReceiveOne(); }, [this] { InterruptReceive(); });
    ServerAddress = platform::MakeSocketAddress(serverPort_, server);

    IsRegistered = false;
    Composer.RemoteTo.clear();
    State = ssIdle;
    Pending = pkRegister;
    SetState(ssRegistering);
    Composer.RequestURI = "sip:" + domain;
    Composer.RequestTo = displayName + " <sip:" + userID + "@" + domain + ">";
    NewRequest("REGISTER", Composer.RequestTo, "", "");
  });
}

void TCustomSIPClient::Unregister() {
  Reported([&] {
    Composer.Expires = kExpiresUnregister;
    SetState(ssRegistering);
    Composer.RequestURI = "sip:" + Domain;
    Composer.RequestTo = DisplayName + " <sip:" + UserID + "@" + Domain + ">";
    Pending = pkUnregister;
    NewRequest("REGISTER", Composer.RequestTo, "", "");
  });
}

void TCustomSIPClient::Invite(const std::string& number) {
  if (State != ssRegistered && State != ssCallFailed && State != ssRemoteHangUp) return;
  Reported([&] {
    CalledNumber = number;
    Composer.RequestURI = "sip:" + number + "@" + Domain;
    Composer.RequestTo = "<" + Composer.RequestURI + ">";
    Composer.RemoteTo.clear();
    SetState(ssInviting);
    Pending = pkInvite;
    NewRequest("INVITE", Composer.RequestTo, SDPOffer, std::string(kSdpContentType));
  });
}

void TCustomSIPClient::Cancel() {
  Reported([&] {
    switch (State) {
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
        WriteRequest("CANCEL", Composer.RequestTo, "", "");
        break;
      case ssInCall:
        SetState(ssHangingUp);
        NewRequest("BYE", Composer.RemoteTo, "", "");
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
  if (message.WParam != kHandOffReceived) return;
  ReceiveBuffer = std::move(threadBuffer_);
  HeaderBlock = std::move(threadHeaderBlock_);
  HandleMessage();
}

void TCustomSIPClient::Close() {
  // A Reported scope of its own, so that the best-effort un-registration below never raises
  // the error event: closing is not an operation the user waits on.
  Reported([&] {
    if (IsRegistered) {
      // Cleared first: a later Register must not send a second un-registration on the
      // closed socket, and a failed send must not keep the socket open.
      IsRegistered = false;
      platform::RunGuarded([this] { Unregister(); });
    }
    Thread.Stop();
    TCustomUDPClient::Close();
  });
}

std::optional<platform::WindowMessage> TCustomSIPClient::ReceiveOne() {
  ReceiveFrom(threadBuffer_);
  if (threadBuffer_.empty()) return std::nullopt;
  if (FrameDatagram(threadBuffer_, threadHeaderBlock_) != FrameResult::kMessage) {
    return std::nullopt;
  }
  // A datagram of another dialog would otherwise overwrite the remote To of ours, or end
  // the call with a BYE, for anyone who can reach the port.
  if (!CarriesCallID(threadHeaderBlock_, threadCallID_)) return std::nullopt;
  return platform::WindowMessage{MessageNumber, kHandOffReceived, 0};
}

void TCustomSIPClient::HandleMessage() {
  if (IsByeRequest(HeaderBlock)) {
    Reported([&] { SendResponse("200 OK"); });
    if (State == ssInCall) {
      SetState(ssRemoteHangUp);
      CallEnded();
    }
    return;
  }
  const std::string to = GetHeader(HeaderBlock, "To");
  Composer.RemoteTo = to.empty() ? Composer.RequestTo : to;
  const int code = StatusCode();
  Reported([&] { ActOnResponse(code); });
}

void TCustomSIPClient::ActOnResponse(int code) {
  if (code == kStatusTrying &&
      (State == ssRegistering || State == ssInviting || State == ssAuthenticating)) {
    SetState(ssTrying);
  } else if (code == kStatusRinging &&
             (State == ssInviting || State == ssAuthenticating || State == ssTrying)) {
    SetState(ssRinging);
  } else if (code == kStatusOk && AwaitsFinalAnswer(State)) {
    switch (Pending) {
      case pkRegister:
        SetState(ssRegistered);
        Registered();
        break;
      case pkInvite:
        SetState(ssInCall);
        CallAnswered();
        WriteRequest("ACK", Composer.RemoteTo, "", "");
        break;
      case pkUnregister:
        IsRegistered = false;
        SetState(ssIdle);
        Close();
        break;
    }
  } else if (code == kStatusOk && State == ssHangingUp) {
    SetState(ssRegistered);
    CallEnded();
  } else if ((code == kStatusUnauthorized || code == kStatusProxyAuthenticationRequired) &&
             (State == ssRegistering || State == ssInviting)) {
    SetState(ssAuthenticating);
    Authenticate();
  } else if (code == kStatusForbidden) {
    AcknowledgeAndEnd(ssRefused);
  } else if (code == kStatusRequestTerminated && State == ssCancelling) {
    AcknowledgeAndEnd(ssCallFailed);
  }
}

void TCustomSIPClient::AcknowledgeAndEnd(TSIPState state) {
  SetState(state);
  WriteRequest("ACK", Composer.RemoteTo, "", "");
  CallEnded();
}

void TCustomSIPClient::Authenticate() {
  const std::optional<std::string> credentials = BuildAuthorization(
      ResponseCode, HeaderBlock, UserID, Password, Composer.LastMethod, Composer.RequestURI);
  if (!credentials) Fail(kErrorBadChallenge);
  if (Composer.LastMethod != "INVITE") {
    NewRequest(Composer.LastMethod, Composer.RequestTo, "", *credentials);
    return;
  }
  WriteRequest("ACK", Composer.RemoteTo, "", "");
  NewRequest("INVITE", Composer.RequestTo, SDPOffer, *credentials + std::string(kSdpContentType));
}

int TCustomSIPClient::StatusCode() {
  const std::optional<int> code = ParseStatusCode(HeaderBlock);
  if (!code) Fail(kErrorInvalidResponse);
  ResponseCode = *code;
  return *code;
}

void TCustomSIPClient::NewRequest(std::string_view method, const std::string& to,
                                  const std::string& body, const std::string& extraHeaders) {
  OutgoingBuffer = Composer.NewRequest(method, to, body, extraHeaders);
  SendBuffer();
}

void TCustomSIPClient::WriteRequest(std::string_view method, const std::string& to,
                                    const std::string& extraHeaders, const std::string& body) {
  OutgoingBuffer = Composer.WriteRequest(method, to, extraHeaders, body);
  SendBuffer();
}

void TCustomSIPClient::SendResponse(std::string_view status) {
  OutgoingBuffer = SipComposer::ComposeResponse(status, HeaderBlock, ServerAddressText);
  SendBuffer();
}

void TCustomSIPClient::SendBuffer() {
  if (Socket == platform::kInvalidSocket) Fail(kErrorSocketClosed);
  while (!OutgoingBuffer.empty()) {
    const int sent =
        platform::SendTo(Socket, OutgoingBuffer.data(), OutgoingBuffer.size(), ServerAddress);
    if (sent == 0) Fail(kErrorNothingSent);
    if (sent == platform::kSocketError) {
      const int error = platform::LastSocketError();
      if (error == platform::kWsaWouldBlock) {
        OutgoingBuffer.clear();  // the message is lost: there is no retransmission anyway
        return;
      }
      Fail(error);
    }
    OutgoingBuffer.clear();
  }
}

void TCustomSIPClient::Registered() {
  IsRegistered = true;
}

void TCustomSIPClient::CallAnswered() {
  RemoteSDP = ReceiveBuffer;
}

void TCustomSIPClient::CallEnded() {}

void TCustomSIPClient::SetState(TSIPState state) {
  State = state;
}

void TCustomSIPClient::SIPError() {}

}  // namespace sip
