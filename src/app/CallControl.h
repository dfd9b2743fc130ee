// The call control: it owns the protocol objects (SIP engine, RTP and RTCP endpoints, audio
// engine, STUN client) and the settings file, and makes every decision between them and the
// window: registration, calls, media, the public address, the saved account, the panels, the
// phone book and the audio devices. The window (a TCallView) forwards its clicks and keys here
// and shows what it is told.
//
// In: the window's clicks and keys; the hand-off messages of the SIP and STUN receive threads
// (SipHandOff, StunHandOff), of the capture device (WaveInData) and of the audio server
// (DeviceChange), for which this object is the target. Out: the engines' operations and the view's
// updates. Threads: everything runs on the main thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/CallMedia.h"
#include "app/CallView.h"
#include "app/DeviceLists.h"
#include "app/IniFile.h"
#include "app/PhoneBook.h"
#include "platform/HandOff.h"
#include "platform/WaveDevice.h"

namespace media {
class TPCMA;
class TRTCPClient;
class TRTPClient;
}  // namespace media
namespace net {
class TSTUNClient;
}
namespace platform {
class WaveDeviceLister;
}
namespace sip {
class TSIPClient;
}

namespace app {

// What the call control is made with: the program passes its audio server and the fixed ports,
// tests their own backend, ports and servers.
struct TCallControlOptions {
  platform::WaveBackend* Wave = nullptr;
  std::string SettingsPath;
  std::string StunServer;
  // Each protocol's fixed port unless given: tests give others, to run beside each other.
  std::optional<std::uint16_t> SipLocalPort;
  std::optional<std::uint16_t> SipServerPort;
  std::optional<std::uint16_t> RtpPort;
  std::optional<std::uint16_t> StunLocalPort;
  std::optional<std::uint16_t> StunServerPort;
  // Set only when someone follows the protocol: every SIP message sent (true) or received.
  std::function<void(bool sent, const std::string& message)> OnSipMessage;
  // Set only when someone measures: the main thread's time on each received SIP message.
  std::function<void(std::chrono::nanoseconds)> OnSipMessageHandled;
};

class TCallControl final : public platform::MessageTarget {
 public:
  // Makes and wires the protocol objects, lists the devices, shows the connection panel and
  // loads the last account. A step that fails (no address of our own for the media) abandons
  // the steps that need the objects; the panels and the saved account still load.
  TCallControl(TCallView& view, platform::HandOff& handOff, const TCallControlOptions& options);
  // Frees the protocol objects: the engine first (it un-registers, unseen), the audio engine
  // before the endpoints its thread reads.
  ~TCallControl();
  TCallControl(const TCallControl&) = delete;
  TCallControl& operator=(const TCallControl&) = delete;

  void HandleWindowMessage(const platform::WindowMessage& message) override;

  // The connect button, and Enter in the connection panel's boxes.
  void ConnectClick();
  // The wait panel's button: cancels, hangs up or un-registers; once a call is over, closes
  // the wait panel.
  void CancelClick();
  // The phone book's call (its button, or a double click) with the number box's text.
  void PhoneBookCallClick(const std::string& number);
  void PhoneBookCloseClick();
  // The entry form's "ANNULER": back to `panel`.
  void PhoneBookClick(TPanel panel);
  TPhoneBook& PhoneBook() { return *phoneBook_; }
  // A keypad key (its number), and every key typed anywhere in the window.
  void nSharpClick(int key);
  void FormKeyPress(char32_t key);
  // The user picked a device.
  void WaveOutListChange(int position);
  void WaveInListChange(int position);

  void SetMode(TPanel panel);
  TPanel Mode() const { return mode_; }

 private:
  void CreateProtocolObjects(const platform::Window& window);
  void LoadSettings();
  void WMDeviceChange();
  void DispatchSip(const platform::WindowMessage& message);
  // The wait panel's texts back to their design captions, the button back to cancelling.
  void WaitReset();

  // The engine's and the STUN client's events.
  void SIPStateChange();
  void SIPRegistered();
  void SIPError();
  void SIPCallAnswered();
  void SIPCallUpdated();
  void SIPCallEnded();
  void STUNPublicAddress();

  TCallView& view_;
  const TCallControlOptions options_;
  const platform::Window window_;
  // Stopped when this object goes: what it posted to itself is then never delivered.
  std::stop_source alive_;
  std::unique_ptr<TIniFile> iniFile_;
  std::unique_ptr<sip::TSIPClient> sipClient_;
  std::unique_ptr<media::TRTPClient> rtpClient_;
  std::unique_ptr<media::TRTCPClient> rtcpClient_;
  std::unique_ptr<media::TPCMA> audio_;
  std::unique_ptr<TCallMedia> media_;
  std::unique_ptr<net::TSTUNClient> stunClient_;
  std::unique_ptr<TPhoneBook> phoneBook_;
  std::unique_ptr<platform::WaveDeviceLister> lister_;
  TDeviceLists devices_;
  TPanel mode_ = TPanel::Connexion;
  // The wait panel's button closes it (the call is over) instead of cancelling.
  bool closes_ = false;
  std::string shownAddress_;
};

}  // namespace app
