#include "ui/MainForm.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <span>

#include "app/CallTexts.h"
#include "app/IniFile.h"
#include "app/KeyMap.h"
#include "app/LevelTrace.h"
#include "app/Provider.h"
#include "app/RemoteMedia.h"
#include "media/Pcma.h"
#include "media/RtcpClient.h"
#include "media/RtpClient.h"
#include "net/StunClient.h"
#include "platform/Address.h"
#include "platform/SilentAbort.h"
#include "platform/WaveDevice.h"
#include "sip/Digest.h"
#include "sip/SipClient.h"
#include "ui/ClickLabel.h"
#include "ui/DeviceLists.h"
#include "ui/Keypad.h"
#include "ui/PaintBox.h"
#include "ui/PhoneBookPanel.h"
#include "ui/QtHandOff.h"
#include "ui_MainForm.h"

// Off unless asked for: QT_LOGGING_RULES="telvarion.window.debug=true".
Q_LOGGING_CATEGORY(lcWindow, "telvarion.window", QtInfoMsg)
// Every SIP message sent and received, for a provider that misbehaves:
// QT_LOGGING_RULES="telvarion.sip.debug=true".
Q_LOGGING_CATEGORY(lcSip, "telvarion.sip", QtInfoMsg)
// The main thread's work on each received SIP message (parse and handle), for the benchmark:
// QT_LOGGING_RULES="telvarion.timing.debug=true". Off, it costs a clock read per message.
Q_LOGGING_CATEGORY(lcTiming, "telvarion.timing", QtInfoMsg)

namespace ui {

namespace {

const char* const kPhoneBookTitle = "CARNET D'ADRESSES";
const char* const kMainSection = "Telvarion";
const char* const kClosedCaption = "Fermer";
const char* const kPublicAddressCaption = "Votre adresse IP publique :";
// The Cancel button's Tag: 0 cancels, 1 closes the wait panel after a call.
constexpr int kCancelCancels = 0;
constexpr int kCancelCloses = 1;

struct RequiredBox {
  QLineEdit* Box;
  const char* Message;
};

// Every text the program itself puts on screen goes through here, so that the window's log
// tells a test (or a person helping a user) exactly what was shown.
template <typename Widget>
void ShowText(Widget* widget, const QString& text) {
  widget->setText(text);
  qCDebug(lcWindow).noquote() << widget->objectName() << "shows" << text;
}

// The captions a person sees once a panel shows; typed boxes are left out (a password).
void LogShownTexts(const QWidget& window) {
  if (!lcWindow().isDebugEnabled()) return;
  for (const QLabel* label : window.findChildren<QLabel*>()) {
    if (label->isVisibleTo(&window) && !label->text().isEmpty())
      qCDebug(lcWindow).noquote() << label->objectName() << "shows" << label->text();
  }
  for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    if (button->isVisibleTo(&window))
      qCDebug(lcWindow).noquote() << button->objectName() << "shows" << button->text();
  }
}

std::string Text(const QString& text) {
  return text.toStdString();
}
QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

TMainForm::TMainForm(const TMainFormOptions& options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      FOptions(options),
      FForm(std::make_unique<Ui::MainForm>()),
      FHandOff(new QtHandOff(this)) {
  FForm->setupUi(this);
  // The window's background comes from its style sheet, which a plain QWidget only paints
  // with this attribute.
  setAttribute(Qt::WA_StyledBackground);
  setFixedSize(size());

  ConnectControls();
  FormCreate();
}

TMainForm::~TMainForm() {
  FormDestroy();
}

void TMainForm::ConnectControls() {
  connect(FForm->Connect, &TClickLabel::clicked, this, &TMainForm::ConnectClick);
  connect(FForm->Cancel, &TClickLabel::clicked, this, &TMainForm::CancelClick);
  FKeypad = new TKeypad(
      {FForm->n0, FForm->n1, FForm->n2, FForm->n3, FForm->n4, FForm->n5, FForm->n6, FForm->n7,
       FForm->n8, FForm->n9, FForm->nStar, FForm->nSharp, FForm->na, FForm->nb, FForm->nc,
       FForm->nd},
      [this](int key) {
        if (Audio) Audio->SendDigit(key);
      },
      this);
  // Key preview: the window sees every key typed in any of its controls first.
  for (QWidget* child : findChildren<QWidget*>())
    child->installEventFilter(this);
  connect(FForm->PhoneEntryCancel, &TClickLabel::clicked, this,
          [this] { PhoneBookClick(FForm->PhoneEntryCancel); });
  connect(FForm->MyAccount, &TClickLabel::clicked, this, &TMainForm::MyAccountClick);
  connect(FForm->CreditLabel, &TClickLabel::clicked, this, &TMainForm::CreditLabelClick);
  // "activated": only a pick by the user, not the lists' own refills.
  connect(FForm->WaveOutList, &QComboBox::activated, this, [this] {
    if (FDevices) FDevices->WaveOutListChange();
  });
  connect(FForm->WaveInList, &QComboBox::activated, this, [this] {
    if (FDevices) FDevices->WaveInListChange();
  });
}

void TMainForm::FormCreate() {
  setWindowTitle(QString::fromUtf8(app::kWindowCaption));
  // A step that fails (no address of our own for the media) abandons the steps that need the
  // objects; the window still shows, with its panels and the saved account.
  if (FOptions.Wave != nullptr) platform::RunGuarded([this] { CreateProtocolObjects(); });
  for (TClickLabel* label : {FForm->Status, FForm->Cancel, FForm->Title}) {
    label->setHint(label->text());
  }
  SetMode(kModeConnexion);
  if (FOptions.Wave == nullptr) return;
  IniFile = std::make_unique<app::TIniFile>(FOptions.SettingsPath);
  FPhoneBook = new TPhoneBookPanel(*FForm, *IniFile,
                                   {[this](int mode) { SetMode(mode); },
                                    [this](const std::string& number) { CallNumber(number); },
                                    [this] {
                                      if (SIPClient)
                                        platform::RunGuarded([this] { SIPClient->Unregister(); });
                                    },
                                    [this](const QString& text) { ShowMessage(text); },
                                    [this](const QString& text) { return Confirm(text); }},
                                   this);
  LoadSettings();
}

void TMainForm::CreateProtocolObjects() {
  const platform::Window window{FHandOff, this};
  SIPClient = std::make_unique<sip::TSIPClient>(window, sip::kSipHandOffMessage,
                                                FOptions.SipLocalPort, FOptions.SipServerPort);
  SIPClient->OnSIPError = [this](sip::TSIPClient&) { SIPError(); };
  SIPClient->OnStateChange = [this](sip::TSIPClient&) { SIPStateChange(); };
  SIPClient->OnRegistered = [this](sip::TSIPClient&) { SIPRegistered(); };
  SIPClient->OnCallAnswered = [this](sip::TSIPClient&) { SIPCallAnswered(); };
  SIPClient->OnCallEnded = [this](sip::TSIPClient&) { SIPCallEnded(); };
  if (lcSip().isDebugEnabled()) {
    SIPClient->OnSend = [](sip::TSIPClient& engine) {
      qCDebug(lcSip).noquote() << "sent\n" << QString::fromStdString(engine.OutgoingBuffer);
    };
    SIPClient->OnReceive = [](sip::TSIPClient& engine) {
      qCDebug(lcSip).noquote() << "received\n"
                               << QString::fromStdString(engine.HeaderBlock + engine.ReceiveBuffer);
    };
  }
  RTPClient = std::make_unique<media::TRTPClient>(FOptions.RtpPort);
  RTCPClient = std::make_unique<media::TRTCPClient>(*RTPClient);
  Audio = std::make_unique<media::TPCMA>(window, *FOptions.Wave);
  ShowText(FForm->Addr, Text(RTPClient->LocalAddress));
  SIPClient->SetMedia(RTPClient->LocalAddress, RTPClient->LocalPort);
  // A STUN client that cannot bind (a second copy of the program holds the port) stays inert
  // and the start-up goes on: the devices and the saved account matter more.
  STUNClient = std::make_unique<net::TSTUNClient>(window, net::kStunHandOffMessage,
                                                  FOptions.StunLocalPort, FOptions.StunServerPort);
  STUNClient->OnPublicAddress = [this](net::TSTUNClient&) { STUNPublicAddress(); };
  STUNClient->Start(FOptions.StunServer);
  FDevices =
      std::make_unique<TDeviceLists>(*FForm->WaveOutList, *FForm->WaveInList, *FForm->Connect,
                                     *FForm->Shape1, *FOptions.Wave, *Audio);
  ListDevices();
  FOptions.Wave->WatchDevices(window);
}

void TMainForm::LoadSettings() {
  const std::string last = IniFile->ReadString(kMainSection, "LastID", "");
  if (last.empty()) return;
  ShowText(FForm->Username, Text(IniFile->ReadString(last, "Name", Text(FForm->Username->text()))));
  ShowText(FForm->UserID, Text(last));
  FForm->Password->setText(Text(IniFile->ReadString(last, "Pass", "")));
  FForm->RememberPassword->setChecked(!FForm->Password->text().isEmpty());
  ShowText(FForm->Domain, Text(IniFile->ReadString(last, "Domain", Text(FForm->Domain->text()))));
  if (FDevices) {
    FDevices->SelectWaveIn(Text(IniFile->ReadString(last, "WaveIn", "")));
    FDevices->SelectWaveOut(Text(IniFile->ReadString(last, "WaveOut", "")));
  }
}

void TMainForm::FormDestroy() {
  if (FOptions.Wave != nullptr) FOptions.Wave->UnwatchDevices();
  if (SIPClient) {
    // The engine's destruction still un-registers, but the window it would report to is
    // going away: no status text, no message box.
    for (sip::TSIPClient::TSIPEvent* event :
         {&SIPClient->OnSIPError, &SIPClient->OnStateChange, &SIPClient->OnRegistered,
          &SIPClient->OnCallAnswered, &SIPClient->OnCallEnded}) {
      *event = nullptr;
    }
  }
  SIPClient.reset();
  Audio.reset();
  RTPClient.reset();
  RTCPClient.reset();
  STUNClient.reset();
  IniFile.reset();
}

void TMainForm::HandleWindowMessage(const platform::WindowMessage& message) {
  switch (message.Message) {
    case sip::kSipHandOffMessage: {
      if (!SIPClient) break;
      QElapsedTimer timer;
      timer.start();
      SIPClient->Dispatch(message);
      qCDebug(lcTiming) << "sip message handled in" << timer.nsecsElapsed() / 1000 << "us";
      break;
    }
    case net::kStunHandOffMessage:
      if (STUNClient) STUNClient->HandleNotify(message);
      break;
    case platform::kWaveInData:
      CaptureDone(message.WParam, message.LParam);
      break;
    case platform::kDeviceChange:
      WMDeviceChange();
      break;
    default:
      break;
  }
}

void TMainForm::ListDevices() {
  if (!FDevices) return;
  FDevices->ListDevices();
  qCDebug(lcWindow).noquote() << "device lists: output" << FForm->WaveOutList->currentText() << "of"
                              << FForm->WaveOutList->count() << ", input"
                              << FForm->WaveInList->currentText() << "of"
                              << FForm->WaveInList->count();
}

void TMainForm::WMDeviceChange() {
  if (FMode == kModeConnexion) {
    ListDevices();
  } else {
    FDeviceRefreshPending = true;
  }
}

void TMainForm::SIPRegistered() {
  const std::string& id = SIPClient->UserID;
  const std::string& domain = SIPClient->Domain;
  IniFile->WriteString(kMainSection, "LastID", id);
  IniFile->WriteString(id, "Name", SIPClient->DisplayName);
  if (FForm->RememberPassword->isChecked()) {
    IniFile->WriteString(
        id, "Pass", "{" + sip::PasswordDigest(id, domain, Text(FForm->Password->text())) + "}");
  } else {
    IniFile->DeleteKey(id, "Pass");
  }
  IniFile->WriteString(id, "Domain", domain);
  IniFile->WriteString(id, "WaveIn", Text(FForm->WaveInList->currentText()));
  IniFile->WriteString(id, "WaveOut", Text(FForm->WaveOutList->currentText()));
}

void TMainForm::MyAccountClick() {
  if (FOptions.OpenUrl) FOptions.OpenUrl(QString::fromUtf8(app::kAccountPage));
}

void TMainForm::CreditLabelClick() {
  if (FOptions.OpenUrl) FOptions.OpenUrl(QString::fromUtf8(app::kCreditPage));
}

void TMainForm::showEvent(QShowEvent* event) {
  // Centred when first shown, once the screen that shows it is known.
  if (!FCentred) {
    FCentred = true;
    CentreOnScreen();
  }
  QWidget::showEvent(event);
}

void TMainForm::CentreOnScreen() {
  const QScreen* screen = this->screen();
  if (screen == nullptr) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

void TMainForm::SetMode(int mode) {
  qCDebug(lcWindow) << "panel mode" << mode;
  FMode = mode;
  FForm->ConnexionPanel->setVisible(mode == kModeConnexion);
  FForm->WaitPanel->setVisible(mode == kModeWait);
  FForm->PhoneBookPanel->setVisible(mode == kModePhoneBook);
  FForm->PhoneEntryPanel->setVisible(mode == kModePhoneEntry);
  if (mode == kModeConnexion && FDeviceRefreshPending) {
    FDeviceRefreshPending = false;
    ListDevices();
  }
  if (mode == kModePhoneBook) TabSheet3Show();
  FForm->Title->setText(mode == kModePhoneBook || mode == kModePhoneEntry
                            ? QString::fromUtf8(kPhoneBookTitle)
                            : FForm->Title->Hint());
  LogShownTexts(*this);
}

void TMainForm::PhoneBookClick(TClickLabel* sender) {
  FForm->Title->setText(sender->Tag() >= kModePhoneBook ? QString::fromUtf8(kPhoneBookTitle)
                                                        : FForm->Title->Hint());
  SetMode(sender->Tag());
}

void TMainForm::TabSheet3Show() {
  if (FPhoneBook != nullptr) FPhoneBook->TabSheet3Show();
}

void TMainForm::ShowMessage(const QString& text) {
  qCDebug(lcWindow).noquote() << "message box shows" << text;
  QMessageBox box(QMessageBox::NoIcon, windowTitle(), text, QMessageBox::Ok, this);
  box.exec();
}

bool TMainForm::Confirm(const QString& text) {
  return QMessageBox::question(this, windowTitle(), text, QMessageBox::Yes | QMessageBox::No) !=
         QMessageBox::No;
}

void TMainForm::ConnectClick() {
  const RequiredBox required[] = {
      {FForm->Username, "Veuillez indiquer votre pseudo"},
      {FForm->UserID, "Veuillez indiquer votre identifiant SIP (08 7x xx xx xx)"},
      {FForm->Password, "Veuillez indiquer votre mot de passe SIP"},
      {FForm->Domain, nullptr},
  };
  for (const RequiredBox& field : required) {
    if (!field.Box->text().isEmpty()) continue;
    ShowMessage(field.Message != nullptr
                    ? QString::fromUtf8(field.Message)
                    : QString::fromUtf8("Veuillez indiquer votre domaine SIP (%1)")
                          .arg(QString::fromUtf8(app::kProviderDomain)));
    field.Box->setFocus();
    return;
  }
  WaitReset();
  SetMode(kModeWait);
  if (SIPClient) {
    platform::RunGuarded([this] {
      SIPClient->Register(Text(FForm->Username->text()), Text(FForm->Domain->text()),
                          Text(FForm->UserID->text()), Text(FForm->Password->text()));
    });
  }
}

void TMainForm::WaitReset() {
  ShowText(FForm->Status, FForm->Status->Hint());
  ShowText(FForm->Cancel, FForm->Cancel->Hint());
  FForm->Cancel->setTag(kCancelCancels);
}

void TMainForm::CallNumber(const std::string& number) {
  WaitReset();
  SetMode(kModeWait);
  if (SIPClient) platform::RunGuarded([&] { SIPClient->Invite(number); });
}

void TMainForm::CancelClick() {
  if (FForm->Cancel->Tag() != kCancelCancels) {
    SetMode(SIPClient && SIPClient->IsRegistered ? kModePhoneBook : kModeConnexion);
    return;
  }
  if (SIPClient) platform::RunGuarded([this] { SIPClient->Cancel(); });
  // Both media stops run in every state, also when no call ever started.
  if (RTCPClient) platform::RunGuarded([this] { RTCPClient->Stop(); });
  if (Audio) Audio->Stop();
}

void TMainForm::SIPStateChange() {
  const app::StateDisplay display = app::DisplayForState(SIPClient->State);
  if (display.Status) {
    ShowText(FForm->Status, QString::fromUtf8(display.Status->data(),
                                              static_cast<qsizetype>(display.Status->size())));
  }
  if (display.PanelMode) SetMode(*display.PanelMode);
  FForm->WaitPanel->resize(FForm->WaitPanel->width(), display.WaitPanelHeight);
}

void TMainForm::SIPError() {
  std::string text =
      app::SipErrorText(SIPClient->ErrorCode, SIPClient->Domain, SIPClient->HeaderBlock);
  // A message box breaks lines at line feeds only; the received message keeps its CR LFs.
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  ShowMessage(QString::fromStdString(text));
}

void TMainForm::SIPCallAnswered() {
  const std::optional<app::RemoteMedia> media = app::ReadRemoteMedia(SIPClient->RemoteSDP);
  if (!media || !RTCPClient || !Audio) return;
  // A media socket that cannot be had leaves the call without sound, silently; it must not
  // abandon the engine's handling of the answer, which still owes the ACK.
  platform::RunGuarded([&] {
    RTCPClient->SetRemote(media->Address, media->Port);
    Audio->Start(RTCPClient.get());
    RTCPClient->Start();
  });
}

void TMainForm::SIPCallEnded() {
  if (RTCPClient) platform::RunGuarded([this] { RTCPClient->Stop(); });
  if (Audio) Audio->Stop();
  FForm->Cancel->setTag(kCancelCloses);
  ShowText(FForm->Cancel, QString::fromUtf8(kClosedCaption));
}

void TMainForm::STUNPublicAddress() {
  const QString address = Text(platform::AddressToText(STUNClient->PublicAddress));
  if (address == FForm->Addr->text()) return;
  ShowText(FForm->Addr, address);
  ShowText(FForm->lbAddr, QString::fromUtf8(kPublicAddressCaption));
  FForm->lbAddr->setVisible(true);
  FForm->Addr->setVisible(true);
  if (SIPClient && RTPClient) SIPClient->SetMedia(Text(address), RTPClient->LocalPort);
}

void TMainForm::CaptureDone(std::uintptr_t device, std::intptr_t header) {
  if (!Audio || FOptions.Wave == nullptr) return;
  auto& block = *reinterpret_cast<platform::WaveHeader*>(header);
  const app::LevelTrace trace = app::TraceLevels(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(block.Data), block.BufferLength));

  QImage& canvas = FForm->PaintBox1->Canvas();
  {
    QPainter painter(&canvas);
    painter.fillRect(QRect(0, 0, 480, 100), Qt::black);
    painter.setPen(QColor(0x00, 0xFF, 0x00));
    QPoint from(0, app::kTraceMiddle);
    for (std::size_t i = 0; i < trace.Offsets.size(); ++i) {
      const QPoint to(static_cast<int>(i), app::kTraceMiddle + trace.Offsets[i]);
      painter.drawLine(from, to);
      from = to;
    }
  }
  FForm->PaintBox1->update();

  const auto handle = static_cast<platform::WaveHandle>(device);
  if (app::IsSpeech(trace.Peak)) {
    Audio->InputDone(handle, block);
  } else {
    FOptions.Wave->InAddBuffer(handle, block);
  }
}

void TMainForm::FormKeyPress(char32_t key) {
  if (!SIPClient || !Audio) return;
  if (const std::optional<int> number = app::FormKeyNumber(SIPClient->State, key)) {
    Audio->SendDigit(*number);
  }
}

bool TMainForm::EditKeyPress(const QWidget* sender, char32_t key) {
  const QVariant tag = sender->property("Tag");
  switch (app::EditKeyPressAction(tag.isValid() ? tag.toInt() : 0, key)) {
    case app::EditKeyAction::Connect:
      ConnectClick();
      return true;
    case app::EditKeyAction::Consume:
      return true;
    case app::EditKeyAction::Pass:
    default:
      return false;
  }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  const auto* keyEvent = static_cast<const QKeyEvent*>(event);
  char32_t key = 0;
  if (keyEvent->key() == Qt::Key_Tab || keyEvent->key() == Qt::Key_Backtab) {
    key = 0;  // focus navigation, never a typed character
  } else if (keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter) {
    key = app::kCharEnter;
  } else if (keyEvent->key() == Qt::Key_Backspace) {
    key = app::kCharBackspace;
  } else if (!keyEvent->text().isEmpty()) {
    key = keyEvent->text().toUcs4().value(0);
  }
  if (key == 0) return QWidget::eventFilter(watched, event);  // arrows and the like
  FormKeyPress(key);
  const QWidget* boxes[] = {FForm->Username, FForm->UserID, FForm->Password, FForm->Domain,
                            FForm->Addr};
  for (const QWidget* box : boxes) {
    if (watched == box) return EditKeyPress(box, key);
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace ui
