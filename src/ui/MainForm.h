// The program's one window. Below a white banner it shows one of four panels, chosen by the
// panel mode: the connection panel (0), the wait panel with the status text and the keypad
// (1), the phone book (2) and the phone book entry form (3). The form itself lives in
// MainForm.ui; this class switches the panels and, later, owns the protocol objects and
// carries their event handlers, all on the main (GUI) thread.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/HandOff.h"

namespace Ui {
class MainForm;
}

namespace app {
class TIniFile;
}
namespace media {
class TPCMA;
class TRTCPClient;
class TRTPClient;
}  // namespace media
namespace net {
class TSTUNClient;
}
namespace platform {
class WaveBackend;
}
namespace sip {
class TSIPClient;
}

namespace ui {

class QtHandOff;
class TClickLabel;
class TDeviceLists;
class TKeypad;
class TPhoneBookPanel;

// What the window is made with. Without a wave backend it is the form alone, with no protocol
// objects (for looking at the layout); the program passes its audio server and the fixed
// ports, tests their own backend, ports and servers.
struct TMainFormOptions {
  platform::WaveBackend* Wave = nullptr;
  std::string SettingsPath;
  std::string StunServer;
  std::uint16_t SipLocalPort = 5060;
  std::uint16_t SipServerPort = 5060;
  std::uint16_t RtpPort = 5004;
  std::uint16_t StunLocalPort = 3478;
  std::uint16_t StunServerPort = 3478;
  // Opens a web page in the desktop's browser.
  std::function<void(const QString& url)> OpenUrl;
};

class TMainForm : public QWidget, public platform::MessageTarget {
  Q_OBJECT

 public:
  enum Mode : int {
    kModeConnexion = 0,
    kModeWait = 1,
    kModePhoneBook = 2,
    kModePhoneEntry = 3,
  };

  explicit TMainForm(const TMainFormOptions& options = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  // The hand-offs of the protocol threads and the audio devices, on the main thread.
  void HandleWindowMessage(const platform::WindowMessage& message) override;

  // Shows the panel of `mode` (0..3) and hides the three others; rebuilds the device lists
  // when the connection panel returns with a refresh pending, reloads the phone book when it
  // is shown, and sets the title.
  void SetMode(int mode);
  int CurrentMode() const { return FMode; }

  // The entry form's "ANNULER": back to the mode held in the sender's Tag.
  void PhoneBookClick(TClickLabel* sender);

  // Set when the audio devices changed while another panel was shown: the device lists are
  // rebuilt the next time the connection panel is shown.
  bool DeviceRefreshPending() const { return FDeviceRefreshPending; }
  void SetDeviceRefreshPending(bool pending) { FDeviceRefreshPending = pending; }

  // The audio server's device-change notification.
  void WMDeviceChange();
  // The SIP engine's OnRegistered: saves the account in the settings file.
  void SIPRegistered();
  void MyAccountClick();
  void CreditLabelClick();

  // Call control. The connect button: checks the four account boxes, then registers.
  void ConnectClick();
  // The wait panel's button: cancels, hangs up or unregisters; once a call is over, closes
  // the wait panel.
  void CancelClick();
  // The wait panel's caption and button back to their remembered texts.
  void WaitReset();
  // The phone book's call: the wait panel, then the engine's Invite.
  void CallNumber(const std::string& number);
  // The engine's and the STUN client's events.
  void SIPStateChange();
  void SIPError();
  void SIPCallAnswered();
  void SIPCallEnded();
  void STUNPublicAddress();
  // A filled capture block: its level trace, then the silence gate.
  void CaptureDone(std::uintptr_t device, std::intptr_t header);
  // Every key typed in the window, before the focused control sees it.
  void FormKeyPress(char32_t key);
  // The connection panel's boxes; returns whether the key is consumed.
  bool EditKeyPress(const QWidget* sender, char32_t key);

  // The objects the window owns, made by FormCreate and freed by FormDestroy in their order.
  std::unique_ptr<app::TIniFile> IniFile;
  std::unique_ptr<sip::TSIPClient> SIPClient;
  std::unique_ptr<media::TRTPClient> RTPClient;
  std::unique_ptr<media::TRTCPClient> RTCPClient;
  std::unique_ptr<media::TPCMA> Audio;
  std::unique_ptr<net::TSTUNClient> STUNClient;

 protected:
  // Fills the two device lists and picks the devices (the audio device selection).
  virtual void ListDevices();
  // Loads the phone book list of the current user ID.
  virtual void TabSheet3Show();
  // The message boxes: a plain box with an OK button, and the Yes/No question (true unless
  // the answer was No). Tests replace them to read and answer.
  virtual void ShowMessage(const QString& text);
  virtual bool Confirm(const QString& text);

  bool eventFilter(QObject* watched, QEvent* event) override;

  Ui::MainForm& Form() { return *FForm; }

  void showEvent(QShowEvent* event) override;

 private:
  // Makes and wires the protocol objects, fills the device lists, shows the connection panel
  // and loads the last account.
  void FormCreate();
  // Frees the protocol objects: the engine first (it un-registers), the audio engine before
  // the endpoints its thread reads.
  void FormDestroy();
  // The steps that need the audio engine and the endpoints; abandoned where one fails.
  void CreateProtocolObjects();
  void LoadSettings();
  void ConnectControls();
  void CentreOnScreen();

  const TMainFormOptions FOptions;
  std::unique_ptr<Ui::MainForm> FForm;
  QtHandOff* FHandOff;
  std::unique_ptr<TDeviceLists> FDevices;
  TKeypad* FKeypad = nullptr;
  TPhoneBookPanel* FPhoneBook = nullptr;
  int FMode = kModeConnexion;
  bool FDeviceRefreshPending = false;
  bool FCentred = false;
};

}  // namespace ui
