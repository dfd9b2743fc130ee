#include "ui/MainForm.h"

#include <QComboBox>
#include <QLoggingCategory>
#include <QScreen>

#include "app/IniFile.h"
#include "app/Provider.h"
#include "media/Pcma.h"
#include "media/RtcpClient.h"
#include "media/RtpClient.h"
#include "net/StunClient.h"
#include "platform/SilentAbort.h"
#include "platform/WaveDevice.h"
#include "sip/Digest.h"
#include "sip/SipClient.h"
#include "ui/ClickLabel.h"
#include "ui/DeviceLists.h"
#include "ui/QtHandOff.h"
#include "ui_MainForm.h"

// Off unless asked for: QT_LOGGING_RULES="telvarion.window.debug=true".
Q_LOGGING_CATEGORY(lcWindow, "telvarion.window", QtInfoMsg)

namespace ui {

namespace {

const char* const kPhoneBookTitle = "CARNET D'ADRESSES";
const char* const kMainSection = "Telvarion";

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
  LoadSettings();
}

void TMainForm::CreateProtocolObjects() {
  const platform::Window window{FHandOff, this};
  SIPClient = std::make_unique<sip::TSIPClient>(window, sip::kSipHandOffMessage,
                                                FOptions.SipLocalPort, FOptions.SipServerPort);
  SIPClient->OnRegistered = [this](sip::TSIPClient&) { SIPRegistered(); };
  RTPClient = std::make_unique<media::TRTPClient>(FOptions.RtpPort);
  RTCPClient = std::make_unique<media::TRTCPClient>(*RTPClient);
  Audio = std::make_unique<media::TPCMA>(window, *FOptions.Wave);
  FForm->Addr->setText(Text(RTPClient->LocalAddress));
  SIPClient->SetMedia(RTPClient->LocalAddress, RTPClient->LocalPort);
  // A STUN client that cannot bind (a second copy of the program holds the port) stays inert
  // and the start-up goes on: the devices and the saved account matter more.
  STUNClient = std::make_unique<net::TSTUNClient>(window, net::kStunHandOffMessage,
                                                  FOptions.StunLocalPort, FOptions.StunServerPort);
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
  FForm->Username->setText(Text(IniFile->ReadString(last, "Name", Text(FForm->Username->text()))));
  FForm->UserID->setText(Text(last));
  FForm->Password->setText(Text(IniFile->ReadString(last, "Pass", "")));
  FForm->RememberPassword->setChecked(!FForm->Password->text().isEmpty());
  FForm->Domain->setText(Text(IniFile->ReadString(last, "Domain", Text(FForm->Domain->text()))));
  if (FDevices) {
    FDevices->SelectWaveIn(Text(IniFile->ReadString(last, "WaveIn", "")));
    FDevices->SelectWaveOut(Text(IniFile->ReadString(last, "WaveOut", "")));
  }
}

void TMainForm::FormDestroy() {
  if (FOptions.Wave != nullptr) FOptions.Wave->UnwatchDevices();
  SIPClient.reset();
  Audio.reset();
  RTPClient.reset();
  RTCPClient.reset();
  STUNClient.reset();
  IniFile.reset();
}

void TMainForm::HandleWindowMessage(const platform::WindowMessage& message) {
  switch (message.Message) {
    case sip::kSipHandOffMessage:
      if (SIPClient) SIPClient->Dispatch(message);
      break;
    case net::kStunHandOffMessage:
      if (STUNClient) STUNClient->HandleNotify(message);
      break;
    case platform::kWaveInData:
      if (Audio) {
        Audio->InputDone(static_cast<platform::WaveHandle>(message.WParam),
                         *reinterpret_cast<platform::WaveHeader*>(message.LParam));
      }
      break;
    case platform::kDeviceChange:
      WMDeviceChange();
      break;
    default:
      break;
  }
}

void TMainForm::ListDevices() {
  if (FDevices) FDevices->ListDevices();
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
}

void TMainForm::PhoneBookClick(TClickLabel* sender) {
  FForm->Title->setText(sender->Tag() >= kModePhoneBook ? QString::fromUtf8(kPhoneBookTitle)
                                                        : FForm->Title->Hint());
  SetMode(sender->Tag());
}

}  // namespace ui
