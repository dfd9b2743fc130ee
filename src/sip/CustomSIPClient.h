// The SIP user agent: one account and at most one call, talking to the SIP server of the
// subscriber's domain only, over UDP from local port 5060 to the server's port 5060.
//
// In: the owner's operations (Register, Unregister, Invite, Cancel, SetMedia) on the main
// thread, and the server's datagrams, which a receive thread frames and hands to the main
// thread, header block and body inside a synchronous message (number 1025); the owner passes
// that message to Dispatch. A domain given as a name is looked up off the main thread, its
// address coming back in a message of the same number. Out: requests, the answers to the
// server's BYE and to the far end's requests inside a call, and the virtual operations that
// TSIPClient turns into events.
//
// Each request is sent once: no retransmission, no transaction timers, no registration
// refresh. A response counts only for the request it answers (its CSeq number and method).
// Failures follow the silent abort: the error number is stored in ErrorCode and the operation
// under way is abandoned.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "net/CustomUDPClient.h"
#include "platform/HandOff.h"
#include "platform/NameLookup.h"
#include "platform/ReceiveThread.h"
#include "sip/CallDialogs.h"
#include "sip/SipComposer.h"
#include "sip/SipMessage.h"
#include "sip/SipState.h"

namespace sip {

inline constexpr std::uint16_t kSipPort = 5060;
// How long a domain's address looked up ahead serves a registration; older, it is looked up again.
inline constexpr std::chrono::minutes kLookedUpFor{2};

class TCustomSIPClient : public net::TCustomUDPClient {
 public:
  // Ports other than 5060 serve tests that run beside each other on one host.
  TCustomSIPClient(const platform::Window& window, platform::MessageNumber messageNumber,
                   std::uint16_t localPort = kSipPort, std::uint16_t serverPort = kSipPort);
  ~TCustomSIPClient() override;

  void SetMedia(const std::string& address, std::uint16_t port);
  // Looks a domain given as a name up before the registration is asked for (as the window
  // opens), so that the REGISTER leaves with the click. Sends nothing.
  void LookAhead(const std::string& domain);
  void Register(const std::string& displayName, const std::string& domain,
                const std::string& userID, const std::string& password);
  void Unregister();
  void Invite(const std::string& number);
  void Cancel();
  // The owner's handler of the hand-off message passes it on here, on the main thread.
  void Dispatch(const platform::WindowMessage& message);

  // Slot 1: hangs up a call (a CANCEL while it rings), sends the un-registration when
  // registered, stops the receive thread, closes. Waits for no answer.
  void Close() override;

  TSIPState State() const { return state_; }
  bool IsRegistered() const { return registered_; }
  const std::string& DisplayName() const { return displayName_; }
  const std::string& UserID() const { return userID_; }
  const std::string& Domain() const { return domain_; }
  // The last message received: its header block and its body.
  const std::string& HeaderBlock() const { return headerBlock_; }
  const std::string& Body() const { return receiveBuffer_; }
  // The message being sent.
  const std::string& Outgoing() const { return sendBuffer_; }
  // The body of the 200 that answered the INVITE, or of the far end's later offer in the call.
  const std::string& RemoteSDP() const { return remoteSDP_; }
  // The Call-ID header's value of the registration and every call.
  std::string CallID() const { return composer_.DialogCallID(); }

 protected:
  virtual void HandleMessage();                                 // slot 2
  virtual void SendBuffer();                                    // slot 3
  virtual void Registered() { registered_ = true; }             // slot 4
  virtual void CallAnswered() { remoteSDP_ = receiveBuffer_; }  // slot 5
  virtual void CallEnded() {}                                   // slot 6
  virtual void SetState(TSIPState state) { state_ = state; }    // slot 7
  // The far end offered a new session description inside the call (a re-INVITE or an UPDATE
  // with a body); it is the remote SDP now.
  virtual void CallUpdated() {}
  // An operation the user started is being abandoned by an error (never raised for a
  // datagram that arrives unasked or malformed: a remote party must not pop up dialogs).
  virtual void SIPError() {}

 private:
  // Runs a step whose failure the user must hear of: the outermost one raises SIPError.
  template <typename Step>
  void Reported(Step&& step);
  // The rest of Register once the server's address is known (all ones: it is not).
  void Connect(std::uint32_t server);
  std::optional<platform::WindowMessage> ReceiveOne();
  // Our INVITE with its offer, remembered with its transaction for the answers that may come.
  void SendInvite(const std::string& credentials);
  void SendResponse(std::string_view status);
  // The validated status code of the response in the header block; error 5 otherwise.
  int StatusCode();
  void ActOnResponse(int code, const TCSeq& answered);
  // Whether the response answers a request that still waits for its answer.
  bool AwaitsAnswer(const TCSeq& answered) const;
  // The 200 to the outstanding request, in a state that awaited one.
  void FinalAnswer();
  void Challenged();
  void Authenticate();
  void AcknowledgeAndEnd(TSIPState state);
  // A 200 to one of our INVITEs other than the call's awaited answer: a repeat acknowledged
  // again, or the answer to an INVITE given up, acknowledged and hung up.
  void OtherInviteAnswered(const TCSeq& answered, bool crossedOurCancel);
  // A request of the far end inside the call.
  void AnswerInCall(std::string_view method);
  // On the way out: the call hung up, or given up while it rings.
  void HangUpForGood();
  void Send(std::string text);

  const platform::Window window_;
  const platform::MessageNumber message_;
  const std::uint16_t localPort_;
  const std::uint16_t serverPort_;
  const std::uint32_t createdTick_;
  platform::ReceiveThread thread_;
  platform::NameLookup lookup_;
  // The last address looked up and when; whether a registration waits for the one under way.
  std::optional<platform::ResolvedName> known_;
  std::chrono::steady_clock::time_point knownAt_;
  bool awaiting_ = false;
  platform::SocketAddress serverAddress_{};
  std::string serverAddressText_;
  TSipComposer composer_;
  TSIPState state_ = ssIdle;
  TPendingKind pending_ = pkRegister;
  std::string displayName_;
  std::string userID_;
  std::string password_;
  std::string calledNumber_;
  std::string domain_;
  std::string receiveBuffer_;  // the body of the last message
  std::string sendBuffer_;
  std::string headerBlock_;
  int responseCode_ = 0;
  std::string sdpOffer_;
  std::string remoteSDP_;
  TCallDialogs dialogs_;
  bool registered_ = false;
  int reportDepth_ = 0;
  // The Call-ID header value of this registration, fixed before the receive thread starts and
  // read by it alone.
  std::string threadCallID_;
};

}  // namespace sip
