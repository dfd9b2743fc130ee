#include "sip/SIPClient.h"

#include "platform/SilentAbort.h"

namespace sip {

TSIPClient::~TSIPClient() {
  // Here, and not only in the base, so that this class's Close (and its event) still runs.
  platform::RunGuarded([this] { Close(); });
}

void TSIPClient::Raise(const TSIPEvent& event) {
  if (event) event(*this);
}

void TSIPClient::Close() {
  if (IsOpen()) Raise(OnClose);
  TCustomSIPClient::Close();
}

void TSIPClient::HandleMessage() {
  Raise(OnReceive);
  TCustomSIPClient::HandleMessage();
}

void TSIPClient::SendBuffer() {
  Raise(OnSend);
  TCustomSIPClient::SendBuffer();
}

void TSIPClient::Registered() {
  TCustomSIPClient::Registered();
  Raise(OnRegistered);
}

void TSIPClient::CallAnswered() {
  TCustomSIPClient::CallAnswered();
  Raise(OnCallAnswered);
}

void TSIPClient::CallEnded() {
  TCustomSIPClient::CallEnded();
  Raise(OnCallEnded);
}

void TSIPClient::SetState(TSIPState state) {
  TCustomSIPClient::SetState(state);
  Raise(OnStateChange);
}

void TSIPClient::CallUpdated() {
  TCustomSIPClient::CallUpdated();
  Raise(OnCallUpdated);
}

void TSIPClient::SIPError() {
  TCustomSIPClient::SIPError();
  Raise(OnSIPError);
}

}  // namespace sip
