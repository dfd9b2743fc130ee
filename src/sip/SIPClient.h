// The SIP engine as its owner uses it: every virtual operation of the mechanism raises an
// event after (or, for sending, receiving and closing, before) doing its work. An event left
// unset is skipped. Events run on the main thread.
#pragma once

#include <functional>

#include "sip/CustomSIPClient.h"

namespace sip {

class TSIPClient : public TCustomSIPClient {
 public:
  using TSIPEvent = std::function<void(TSIPClient&)>;

  using TCustomSIPClient::TCustomSIPClient;
  ~TSIPClient() override;

  void Close() override;

  TSIPEvent OnSend;
  TSIPEvent OnReceive;
  TSIPEvent OnStateChange;
  TSIPEvent OnRegistered;
  TSIPEvent OnClose;
  TSIPEvent OnSIPError;
  TSIPEvent OnCallAnswered;
  TSIPEvent OnCallEnded;
  TSIPEvent OnCallUpdated;

 protected:
  void HandleMessage() override;
  void SendBuffer() override;
  void Registered() override;
  void CallAnswered() override;
  void CallEnded() override;
  void SetState(TSIPState state) override;
  void SIPError() override;
  void CallUpdated() override;

 private:
  void Raise(const TSIPEvent& event);
};

}  // namespace sip
