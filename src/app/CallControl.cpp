#include "app/CallControl.h"

#include "app/AccountSettings.h"
#include "app/CallTexts.h"
#include "app/KeyMap.h"
#include "app/Provider.h"
#include "media/PCMA.h"
#include "media/RTCPClient.h"
#include "media/RTPClient.h"
#include "net/STUNClient.h"
#include "platform/Address.h"
#include "platform/SilentAbort.h"
#include "platform/WaveDeviceLister.h"
#include "sip/SIPClient.h"

namespace app {

namespace {

constexpr std::string_view kPhoneBookTitle = "CARNET D'ADRESSES";
constexpr std::string_view kClosedCaption = "Fermer";
constexpr std::string_view kPublicAddressCaption = "Votre adresse IP publique :";
}  // namespace

TCallControl::TCallControl(TCallView& view, platform::HandOff& handOff,
                           const TCallControlOptions& options)
    : view_(view),
      options_(options),
      window_{&handOff, this},
      devices_([this](const TDeviceList& outputs, const TDeviceList& inputs,
                      bool enabled) { view_.ShowDevices(outputs, inputs, enabled); },
               [this] {
                 if (lister_) lister_->List();
               },
               [this](int output) {
                 if (audio_) audio_->SetOutputDevice(output);
               },
               [this](int input) {
                 if (audio_) audio_->SetInputDevice(input);
               }) {
  if (options_.Wave != nullptr) platform::RunGuarded([&] { CreateProtocolObjects(window_); });
  SetMode(TPanel::Connexion);
  iniFile_ = std::make_unique<TIniFile>(options_.SettingsPath);
  phoneBook_ =
      std::make_unique<TPhoneBook>(*iniFile_, view_, [this](TPanel panel) { SetMode(panel); });
  LoadSettings();
}

TCallControl::~TCallControl() {
  alive_.request_stop();
  // The lister first: it may be making us the watcher again.
  lister_.reset();
  if (options_.Wave != nullptr) options_.Wave->UnwatchDevices();
  if (sipClient_) {
    // The engine's destruction still un-registers, but the window it would report to is
    // going away: no status text, no message box.
    for (sip::TSIPClient::TSIPEvent* event :
         {&sipClient_->OnSIPError, &sipClient_->OnStateChange, &sipClient_->OnRegistered,
          &sipClient_->OnCallAnswered, &sipClient_->OnCallUpdated, &sipClient_->OnCallEnded}) {
      *event = nullptr;
    }
  }
  // The engine's destruction hangs a call up: the media's last word follows, as at a hang-up.
  sipClient_.reset();
  if (media_) media_->Leave();
  media_.reset();
  audio_.reset();
  rtpClient_.reset();
  rtcpClient_.reset();
  stunClient_.reset();
  phoneBook_.reset();
  iniFile_.reset();
}

void TCallControl::CreateProtocolObjects(const platform::Window& window) {
  sipClient_ = std::make_unique<sip::TSIPClient>(window, platform::MessageNumber::SipHandOff,
                                                 options_.SipLocalPort.value_or(sip::kSipPort),
                                                 options_.SipServerPort.value_or(sip::kSipPort));
  sipClient_->OnSIPError = [this](sip::TSIPClient&) { SIPError(); };
  sipClient_->OnStateChange = [this](sip::TSIPClient&) { SIPStateChange(); };
  sipClient_->OnRegistered = [this](sip::TSIPClient&) { SIPRegistered(); };
  sipClient_->OnCallAnswered = [this](sip::TSIPClient&) { SIPCallAnswered(); };
  sipClient_->OnCallUpdated = [this](sip::TSIPClient&) { SIPCallUpdated(); };
  sipClient_->OnCallEnded = [this](sip::TSIPClient&) { SIPCallEnded(); };
  if (const auto trace = options_.OnSipMessage) {
    sipClient_->OnSend = [trace](sip::TSIPClient& engine) { trace(true, engine.Outgoing()); };
    sipClient_->OnReceive = [trace](sip::TSIPClient& engine) {
      trace(false, engine.HeaderBlock() + engine.Body());
    };
  }
  rtpClient_ = std::make_unique<media::TRTPClient>(options_.RtpPort.value_or(media::kRtpPort));
  rtcpClient_ = std::make_unique<media::TRTCPClient>(*rtpClient_);
  audio_ = std::make_unique<media::TPCMA>(window, *options_.Wave);
  media_ = std::make_unique<TCallMedia>(*window.Channel, *rtcpClient_, *audio_, view_);
  shownAddress_ = rtpClient_->LocalAddress();
  view_.ShowCaption(TCaption::Address, shownAddress_);
  sipClient_->SetMedia(rtpClient_->LocalAddress(), rtpClient_->LocalPort());
  // A STUN client that cannot bind (a second copy of the program holds the port) stays inert
  // and the start-up goes on: the devices and the saved account matter more.
  stunClient_ = std::make_unique<net::TSTUNClient>(
      window, platform::MessageNumber::StunHandOff, options_.StunLocalPort.value_or(net::kStunPort),
      options_.StunServerPort.value_or(net::kStunPort));
  stunClient_->OnPublicAddress = [this](net::TSTUNClient&) { STUNPublicAddress(); };
  stunClient_->Start(options_.StunServer);
  lister_ = std::make_unique<platform::WaveDeviceLister>(*options_.Wave, window);
  lister_->Watch();
}

void TCallControl::LoadSettings() {
  const std::optional<TSavedAccount> saved = TAccountSettings(*iniFile_).Load();
  if (!saved) return;
  TAccount shown = view_.TypedAccount();
  shown.Username = saved->Name.value_or(shown.Username);
  shown.UserID = saved->UserID;
  shown.Password = saved->Password;
  shown.RememberPassword = !shown.Password.empty();
  shown.Domain = saved->Domain.value_or(shown.Domain);
  view_.ShowAccount(shown);
  devices_.Remember(saved->WaveOut, saved->WaveIn);
  // So that the REGISTER leaves with the click, not after a name server's answer.
  if (sipClient_) sipClient_->LookAhead(shown.Domain);
}

void TCallControl::HandleWindowMessage(const platform::WindowMessage& message) {
  using platform::MessageNumber;
  // The engines' hand-offs go to their engines, which know their own payloads.
  if (message.Message == MessageNumber::SipHandOff) {
    if (sipClient_) DispatchSip(message);
    return;
  }
  if (message.Message == MessageNumber::StunHandOff) {
    if (stunClient_) stunClient_->HandleNotify(message);
    return;
  }
  std::visit(
      platform::Overloaded{[&](std::monostate) {
                             if (message.Message == MessageNumber::DeviceChange) WMDeviceChange();
                           },
                           [&](const platform::CapturedSamples& block) {
                             // Blocks heard after the hang-up draw nothing over its status.
                             if (media_) media_->Heard(block, sipClient_->State() == sip::ssInCall);
                           },
                           [&](const platform::DeviceListing& listing) {
                             devices_.Listed(listing, mode_ == TPanel::Connexion);
                           },
                           [&](const platform::Notice& notice) { view_.ShowMessage(notice.Text); },
                           [](const auto&) {}},
      message.Data);
}

void TCallControl::DispatchSip(const platform::WindowMessage& message) {
  if (!options_.OnSipMessageHandled) return sipClient_->Dispatch(message);
  const auto start = std::chrono::steady_clock::now();
  // Measured even when the handling is abandoned half-way.
  platform::RunGuarded([&] { sipClient_->Dispatch(message); });
  options_.OnSipMessageHandled(std::chrono::steady_clock::now() - start);
}

void TCallControl::SetMode(TPanel panel) {
  mode_ = panel;
  if (panel == TPanel::Connexion) devices_.ConnexionShown();
  if (panel == TPanel::PhoneBook && phoneBook_) {
    phoneBook_->TabSheet3Show(view_.TypedAccount().UserID);
  }
  const bool book = panel == TPanel::PhoneBook || panel == TPanel::PhoneEntry;
  view_.ShowPanel(panel, book ? std::optional(kPhoneBookTitle) : std::nullopt);
}

void TCallControl::PhoneBookClick(TPanel panel) {
  SetMode(panel);
}

void TCallControl::WMDeviceChange() {
  devices_.Changed(mode_ == TPanel::Connexion);
}

void TCallControl::WaveOutListChange(int position) {
  devices_.PickOutput(position);
}

void TCallControl::WaveInListChange(int position) {
  devices_.PickInput(position);
}

void TCallControl::ConnectClick() {
  const TAccount account = view_.TypedAccount();
  const std::string domainMessage =
      std::string("Veuillez indiquer votre domaine SIP (") + kProviderDomain + ")";
  const struct {
    const std::string& Text;
    TBox Box;
    std::string Message;
  } required[] = {
      {account.Username, TBox::Username, "Veuillez indiquer votre pseudo"},
      {account.UserID, TBox::UserID, "Veuillez indiquer votre identifiant SIP (08 7x xx xx xx)"},
      {account.Password, TBox::Password, "Veuillez indiquer votre mot de passe SIP"},
      {account.Domain, TBox::Domain, domainMessage},
  };
  // Empty means no characters at all: a name of blanks passes.
  for (const auto& field : required) {
    if (!field.Text.empty()) continue;
    view_.ShowMessage(field.Message);
    view_.Focus(field.Box);
    return;
  }
  WaitReset();
  SetMode(TPanel::Wait);
  if (sipClient_) {
    platform::RunGuarded([&] {
      sipClient_->Register(account.Username, account.Domain, account.UserID, account.Password);
    });
  }
}

void TCallControl::WaitReset() {
  view_.ShowCaption(TCaption::Status, std::nullopt);
  view_.ShowCaption(TCaption::Cancel, std::nullopt);
  closes_ = false;
}

void TCallControl::PhoneBookCallClick(const std::string& number) {
  if (number.empty()) return;
  WaitReset();
  SetMode(TPanel::Wait);
  if (sipClient_) platform::RunGuarded([&] { sipClient_->Invite(number); });
}

void TCallControl::PhoneBookCloseClick() {
  SetMode(TPanel::Wait);
  if (sipClient_) platform::RunGuarded([this] { sipClient_->Unregister(); });
}

void TCallControl::CancelClick() {
  if (closes_) {
    SetMode(sipClient_ && sipClient_->IsRegistered() ? TPanel::PhoneBook : TPanel::Connexion);
    return;
  }
  if (sipClient_) platform::RunGuarded([this] { sipClient_->Cancel(); });
  // The media end runs in every state, also when no call ever started.
  if (media_) media_->End();
}

void TCallControl::SIPStateChange() {
  view_.NoteState(sip::StateName(sipClient_->State()));
  const TStateDisplay display = DisplayForState(sipClient_->State());
  if (display.Status) view_.ShowCaption(TCaption::Status, *display.Status);
  if (display.Panel) SetMode(*display.Panel);
  view_.SetWaitPanelHeight(display.WaitPanelHeight);
  // The trace lies over the status text: once the call is over, the text must be read.
  if (sipClient_->State() != sip::ssInCall) view_.ClearLevelTrace();
}

void TCallControl::SIPRegistered() {
  const TAccount typed = view_.TypedAccount();
  const auto [output, input] = devices_.Chosen();
  TAccountSettings(*iniFile_).Save(
      sipClient_->UserID(), sipClient_->DisplayName(), sipClient_->Domain(),
      typed.RememberPassword ? std::optional(typed.Password) : std::nullopt, input, output);
}

void TCallControl::SIPError() {
  // A modal box inside the SIP hand-off would hold the receive thread, and every datagram
  // behind this one (a far end's BYE), until the user pressed OK: it waits for the hand-off.
  window_.Post({platform::MessageNumber::ErrorBox,
                platform::Notice{SipErrorText(sipClient_->ErrorCode(), sipClient_->Domain(),
                                              sipClient_->HeaderBlock())}},
               alive_.get_token());
}

void TCallControl::SIPCallAnswered() {
  // Without an address of our own there are no media objects: the call goes on unheard.
  if (media_) media_->Answered(sipClient_->RemoteSDP());
}

void TCallControl::SIPCallUpdated() {
  if (media_) media_->Updated(sipClient_->RemoteSDP());
}

void TCallControl::SIPCallEnded() {
  if (media_) media_->End();
  closes_ = true;
  view_.ShowCaption(TCaption::Cancel, kClosedCaption);
}

void TCallControl::STUNPublicAddress() {
  const std::string address = platform::AddressToText(stunClient_->PublicAddress().Address);
  if (address == shownAddress_) return;
  shownAddress_ = address;
  view_.ShowCaption(TCaption::Address, address);
  view_.ShowCaption(TCaption::AddressLabel, kPublicAddressCaption);
  sipClient_->SetMedia(address, rtpClient_->LocalPort());
}

void TCallControl::nSharpClick(int key) {
  if (audio_) audio_->SendDigit(key);
}

void TCallControl::FormKeyPress(char32_t key) {
  if (!sipClient_ || !audio_) return;
  if (const std::optional<int> number = FormKeyNumber(sipClient_->State(), key)) {
    audio_->SendDigit(*number);
  }
}

}  // namespace app
