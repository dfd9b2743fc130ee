// The SIP user agent: one account and at most one call, talking to the SIP server of the
// subscriber's domain only, over UDP from local port 5060 to the server's port 5060.
//
// In: the owner's operations (Register, Unregister, Invite, Cancel, SetMedia) on the main
// thread, and the server's datagrams, which a receive thread frames and hands to the main
// thread with a synchronous message (number 1025, first parameter 1); the owner passes that
// message to Dispatch. Out: requests and the 200 to the server's BYE, and the virtual
// operations that TSIPClient turns into events.
//
// Each request is sent once: no retransmission, no transaction timers, no registration
// refresh. Failures follow the silent abort: the error number is stored in ErrorCode and the
// operation under way is abandoned.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "net/UdpClient.h"
#include "platform/HandOff.h"
#include "platform/ReceiveThread.h"
#include "sip/SipComposer.h"
#include "sip/SipState.h"

namespace sip {

inline constexpr std::uint16_t kSipPort = 5060;
inline constexpr std::uint32_t kSipHandOffMessage = 1025;
inline constexpr std::uintptr_t kHandOffReceived = 1;

// The engine's own error numbers (socket errors are 10000 and up).
inline constexpr int kErrorNothingSent = 3;
inline constexpr int kErrorInvalidResponse = 5;
inline constexpr int kErrorBadChallenge = 6;
inline constexpr int kErrorSocketClosed = 7;

class TCustomSIPClient : public net::TCustomUDPClient {
 public:
  // Ports other than 5060 serve tests that run beside each other on one host.
  TCustomSIPClient(const platform::Window& window, std::uint32_t messageNumber,
                   std::uint16_t localPort = kSipPort, std::uint16_t serverPort = kSipPort);
  ~TCustomSIPClient() override;

  void SetMedia(const std::string& address, std::uint16_t port);
  void Register(const std::string& displayName, const std::string& domain,
                const std::string& userID, const std::string& password);
  void Unregister();
  void Invite(const std::string& number);
  void Cancel();
  // The owner's handler of the hand-off message passes it on here, on the main thread.
  void Dispatch(const platform::WindowMessage& message);

  // Slot 1: sends the un-registration when registered, stops the receive thread, closes.
  void Close() override;

  platform::Window Window;
  std::uint32_t MessageNumber;
  platform::ReceiveThread Thread;
  std::uint32_t CreatedTick;
  platform::SocketAddress ServerAddress{};
  std::string ServerAddressText;
  SipComposer Composer;  // Expires, Via, Contact, From, branch, Call-ID, CSeq, URIs, To values
  TSIPState State = ssIdle;
  TPendingKind Pending = pkRegister;
  std::string DisplayName;
  std::string UserID;
  std::string Password;
  std::string CalledNumber;
  std::string Domain;
  std::string ReceiveBuffer;  // after framing, the body of the message
  std::string OutgoingBuffer;
  std::string HeaderBlock;
  int ResponseCode = 0;
  std::string SDPOffer;
  std::string RemoteSDP;
  bool IsRegistered = false;

 protected:
  virtual void HandleMessage();            // slot 2
  virtual void SendBuffer();               // slot 3
  virtual void Registered();               // slot 4
  virtual void CallAnswered();             // slot 5
  virtual void CallEnded();                // slot 6
  virtual void SetState(TSIPState state);  // slot 7
  // An operation the user started is being abandoned by an error (never raised for a
  // datagram that arrives unasked or malformed: a remote party must not pop up dialogs).
  virtual void SIPError();

  void NewRequest(std::string_view method, const std::string& to, const std::string& body,
                  const std::string& extraHeaders);
  void WriteRequest(std::string_view method, const std::string& to, const std::string& extraHeaders,
                    const std::string& body);
  void SendResponse(std::string_view status);
  // The validated status code of the response in the header block; error 5 otherwise.
  int StatusCode();
  void Authenticate();

 private:
  // Runs a step whose failure the user must hear of: the outermost one raises SIPError.
  template <typename Step>
  void Reported(Step&& step);
  std::optional<platform::WindowMessage> ReceiveOne();
  void ActOnResponse(int code);
  void AcknowledgeAndEnd(TSIPState state);

  const std::uint16_t localPort_;
  const std::uint16_t serverPort_;
  int reportDepth_ = 0;
  // Filled by the receive thread only, taken over by the main thread in Dispatch, so that no
  // field the main thread reads is written behind its back.
  std::string threadBuffer_;
  std::string threadHeaderBlock_;
  // The Call-ID header value of this registration, fixed before the receive thread starts.
  std::string threadCallID_;
};

}  // namespace sip
