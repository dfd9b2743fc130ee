// The call control with the real protocol objects: a scripted SIP server, a STUN server and the
// far end's media on loopback, the audio engine on the in-process wave backend, and a view that
// records what it is told to show.
#include "app/CallControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "app/PrivateProfile.h"
#include "media/LevelTrace.h"
#include "platform/WaveDeviceLister.h"
#include "support/Command.h"
#include "support/EventLoopHandOff.h"
#include "support/LoopbackPeer.h"
#include "support/SipResponse.h"
#include "support/TestWave.h"

namespace app {
namespace {

using namespace std::chrono_literals;
using testsupport::LoopbackPeer;
using Strings = std::vector<std::string>;
const std::pair<std::size_t, std::size_t> kNoDevice{0, 0}, kBothDevices{1, 1}, kPlaybackOnly{1, 0};

// Records what it is told to show, a line each.
struct View final : TCallView {
  TAccount TypedAccount() const override { return Typed; }
  void ShowAccount(const TAccount& a) override {
    Typed = a;
    Note("account " + a.Username + "/" + a.UserID + "/" + a.Password + "/" + a.Domain +
         (a.RememberPassword ? " remembered" : ""));
  }
  void ShowPanel(TPanel panel, std::optional<std::string_view> title) override {
    Panel = panel;
    Note("panel " + std::to_string(static_cast<int>(panel)) + " " + Text(title));
  }
  void ShowCaption(TCaption caption, std::optional<std::string_view> text) override {
    Note(std::vector<std::string>{"Title", "Status", "Cancel", "lbAddr", "Addr"}.at(
             static_cast<std::size_t>(caption)) +
         "=" + Text(text));
  }
  void SetWaitPanelHeight(int height) override { Height = height; }
  void ShowDevices(const TDeviceList& outputs, const TDeviceList& inputs, bool enabled) override {
    Note("devices " + std::to_string(outputs.Names.size()) + "/" +
         std::to_string(inputs.Names.size()) + (enabled ? " connect" : " greyed"));
  }
  void ShowLevelTrace(const media::TLevelTrace& trace) override { Peaks.push_back(trace.Peak); }
  void ClearLevelTrace() override { Peaks.clear(); }
  void ShowContacts(const Strings& names) override { Contacts = names; }
  void RemoveSelectedContact() override { Note("removed"); }
  void ShowNumber(const std::string& number) override { Note("number " + number); }
  void ShowEntry(const std::string& name, const std::string& number) override {
    Note("entry " + name + "=" + number);
  }
  void Focus(TBox box) override { Note("focus " + std::to_string(static_cast<int>(box))); }
  void ShowMessage(const std::string& text) override {
    Note("message " + text);
    if (WhileBoxShown) WhileBoxShown();  // a modal box runs the loop until it is closed
  }
  bool Confirm(const std::string& question) override { return Note("question " + question), Yes; }
  void NoteState(std::string_view) override {}

  void Note(const std::string& entry) { Log.push_back(entry); }
  static std::string Text(std::optional<std::string_view> text) {
    return std::string(text.value_or("(design)"));
  }

  std::function<void()> WhileBoxShown;
  TAccount Typed{"Alice", "0123", "pw", "127.0.0.1", true};
  Strings Log, Contacts;
  std::vector<int> Peaks;
  TPanel Panel = TPanel::Wait;
  int Height = 0;
  bool Yes = true;
};

bool Listing(const std::string& entry) {  // a line of the view: the device lists shown
  return entry.starts_with("devices ");
}

class CallControlTest : public ::testing::Test {
 protected:
  // The call control made, once its first listing of the devices is shown if `listed`.
  void Start(bool listed = true) {
    control_ = std::make_unique<TCallControl>(view_, loop_, options_);
    ASSERT_TRUE(!listed || Await([&] { return std::ranges::any_of(view_.Log, Listing); }));
  }
  bool Shown(const std::string& entry) const {
    return std::ranges::find(view_.Log, entry) != view_.Log.end();
  }
  // A condition that a message or another thread (the audio engine's) makes true, within 3 s.
  bool Await(const std::function<bool()>& done) {
    for (const auto end = std::chrono::steady_clock::now() + 3s; !done(); loop_.RunFor(2ms))
      if (std::chrono::steady_clock::now() > end) return false;
    return true;
  }

  // The next request of the server, which must be `method`.
  void Next(const std::string& method) {
    std::optional<std::string> request;
    ASSERT_TRUE(Await([&] { return (request = sip_.Receive(1ms)).has_value(); })) << method;
    last_ = *request;
    ASSERT_EQ(last_.substr(0, last_.find(' ')), method);
  }
  void Reply(int code, const std::string& body = "") {
    sip_.Reply(testsupport::SipResponse(last_, code, body));
  }
  void Register() {
    control_->ConnectClick();
    Next("REGISTER");
    Reply(200);
    ASSERT_TRUE(Await([&] { return view_.Panel == TPanel::PhoneBook; }));
  }
  void InCall() {
    Start();
    Register();
    Call();
  }
  // The answer names the far end: its media start once the name is looked up.
  void Call() {
    control_->PhoneBookCallClick("0612");
    Next("INVITE");
    Reply(200,
          "v=0\r\nm=audio " + std::to_string(far_.Port()) + " RTP/AVP 8\r\nc=IN IP4 localhost\r\n");
    Next("ACK");
    std::optional<std::string> first;
    ASSERT_TRUE(Await([&] { return (first = far_.Receive(1ms)).has_value(); }));
    ASSERT_EQ(first->size(), 12u);  // the call's first RTP packet: a header alone
    ASSERT_TRUE(Await([&] { return wave_.OpenDevices() == kBothDevices; }));
  }

  testsupport::TemporaryDirectory folder_;
  testsupport::TestWaveBackend wave_;
  testsupport::EventLoopHandOff loop_;
  LoopbackPeer sip_, stun_;
  const std::uint16_t farPort_ = testsupport::FreePortPair();
  const LoopbackPeer far_{farPort_}, farRtcp_{static_cast<std::uint16_t>(farPort_ + 1)};
  // The wave backend, the settings file, the STUN server, then the SIP, RTP and STUN ports
  // (0: the system's choice).
  TCallControlOptions options_{&wave_,      folder_.Path() + "/telvarion.ini",
                               "127.0.0.1", 0,
                               sip_.Port(), testsupport::FreePortPair(),
                               0,           stun_.Port(),
                               nullptr,     nullptr};
  View view_;
  std::string last_;
  std::unique_ptr<TCallControl> control_;
};

TEST_F(CallControlTest, AnAccountRefusedHereOrByTheServerLeadsBackToTheConnectionPanel) {
  Start();
  const std::pair<std::string TAccount::*, std::string> fields[] = {
      {&TAccount::Username, "message Veuillez indiquer votre pseudo"},
      {&TAccount::UserID, "message Veuillez indiquer votre identifiant SIP (08 7x xx xx xx)"},
      {&TAccount::Password, "message Veuillez indiquer votre mot de passe SIP"},
      {&TAccount::Domain, "message Veuillez indiquer votre domaine SIP (sip.brovandes.fr)"}};
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    view_.Typed = {" ", "1", "p", "d", false};
    for (std::size_t j = i; j < std::size(fields); ++j)
      view_.Typed.*fields[j].first = "";
    view_.Log.clear();
    control_->ConnectClick();
    EXPECT_EQ(view_.Log, (Strings{fields[i].second, "focus " + std::to_string(i)}));  // no attempt
  }
  view_.Typed = View{}.Typed;  // a whole account, which the server refuses: Fermer leads back
  control_->ConnectClick();
  Next("REGISTER");
  Reply(403);
  ASSERT_TRUE(Await([&] { return Shown("Cancel=Fermer"); }));
  control_->CancelClick();
  EXPECT_EQ(view_.Panel, TPanel::Connexion);
}

// The account is saved once registered and loaded at the next start. An error raised while a
// datagram is handled (a challenge without its header) opens its box once that hand-off is
// over: while the box is open, the server's next answer is handled.
// The SIP trace, for a provider that misbehaves, tells what was sent from what came back.
TEST_F(CallControlTest, TheSipTraceTellsSentFromReceived) {
  Strings trace;
  options_.OnSipMessage = [&](bool sent, const std::string& message) {
    trace.push_back((sent ? "sent " : "received ") + message.substr(0, message.find(' ')));
  };
  Start();
  Register();
  EXPECT_EQ(trace, (Strings{"sent REGISTER", "received SIP/2.0"}));
  control_.reset();  // its un-registration is traced too, while `trace` still stands
}

TEST_F(CallControlTest, ARegistrationSavesTheAccountAndTheNextStartLoadsIt) {
  Start();
  bool registeredMeanwhile = false;
  view_.WhileBoxShown = [&] {
    Reply(200);
    registeredMeanwhile = Await([&] { return view_.Panel == TPanel::PhoneBook; });
  };
  control_->ConnectClick();
  EXPECT_TRUE(Shown("Status=(design)") && Shown("Cancel=(design)") && Shown("panel 1 (design)"));
  Next("REGISTER");
  std::string challenge = testsupport::SipResponse(last_, 407);
  const std::size_t header = challenge.find("Proxy-Authenticate:");
  challenge.erase(header, challenge.find("Content-Length:") - header);  // the header goes
  sip_.Reply(challenge);
  ASSERT_TRUE(Await([&] { return Shown("message Accès refusé"); }));
  EXPECT_TRUE(registeredMeanwhile);
  const std::string file = options_.SettingsPath;
  const std::string digest = "{" + testsupport::Md5sum("0123:127.0.0.1:pw") + "}";
  EXPECT_EQ(ReadProfileString(file, "Telvarion", "LastID", ""), "0123");
  EXPECT_EQ(ReadProfileSection(file, "0123"),
            (Strings{"Name", "Pass", "Domain", "WaveIn", "WaveOut"}));
  EXPECT_EQ(ReadProfileString(file, "0123", "Pass", ""), digest);
  control_.reset();  // un-registers on the way out, silently
  Next("REGISTER");
  EXPECT_NE(last_.find("Expires: 0\r\n"), std::string::npos);

  view_ = View{};
  view_.Typed = {"Design", "087", "", "sip.brovandes.fr", false};
  DeleteProfileKey(file, "0123", "Name");  // a missing key leaves the box's design text
  wave_.Stall();  // the devices are listed after the registration: the saved ones are kept
  Start(false);
  EXPECT_TRUE(Shown("account Design/0123/" + digest + "/127.0.0.1 remembered"));
  view_.Typed.RememberPassword = false;  // registers with the digest, then forgets it
  Register();
  EXPECT_EQ(ReadProfileString(file, "0123", "Pass", "none"), "none");
  EXPECT_EQ(ReadProfileString(file, "0123", "Name", ""), "Design");
  EXPECT_EQ(ReadProfileString(file, "0123", "WaveIn", ""), "Test microphone");
  EXPECT_EQ(ReadProfileString(file, "0123", "WaveOut", ""), "Test speaker");
  wave_.Release();
}

// Speech goes out, silence does not; a key sends its tone; the far end's offer inside the call
// points the media elsewhere, and our RTP and RTCP follow.
TEST_F(CallControlTest, ACallCarriesSpeechAndKeysButNotSilenceWhereTheFarEndSays) {
  InCall();
  EXPECT_TRUE(Shown("Status=en ligne !"));
  const int inCall = view_.Height;  // the window test sees the keypad in it
  wave_.Feed(std::string(480, '\x40') + std::string(480, '\0'));  // loud, then silent
  wave_.Advance(60ms);
  ASSERT_TRUE(Await([&] { return view_.Peaks.size() == 2; }));  // a level trace each
  control_->FormKeyPress(U'5');
  const std::string silence(240, '\xD5');                 // G.711 A-law's code for 0
  EXPECT_NE(far_.Receive().value().substr(12), silence);  // the loud block
  EXPECT_NE(far_.Receive().value().substr(12), silence);  // then the key's tone: no silent block
  const std::uint16_t movedPort = testsupport::FreePortPair();
  const LoopbackPeer moved(movedPort), movedRtcp(static_cast<std::uint16_t>(movedPort + 1));
  sip_.Reply(testsupport::SipRequest(
      "INVITE", last_,
      "v=0\r\nc=IN IP4 127.0.0.1\r\nm=audio " + std::to_string(movedPort) + " RTP/AVP 8\r\n"));
  Next("SIP/2.0");
  control_->nSharpClick(5);
  EXPECT_EQ(moved.Receive()->size(), 252u);
  control_->CancelClick();
  Next("BYE");
  EXPECT_EQ(movedRtcp.Receive()->at(1), '\xCB');  // the RTCP BYE
  // The hang-up did not wait for the BYE's 10 ms: the capture closed with it, the playback
  // closes once the event loop has waited.
  EXPECT_EQ(wave_.OpenDevices(), kPlaybackOnly);
  ASSERT_TRUE(Await([&] { return wave_.OpenDevices() == kNoDevice; }));
  EXPECT_FALSE(movedRtcp.Receive(0ms));  // a silent far end: no repeat, none once closed
  Reply(200);
  ASSERT_TRUE(Await([&] { return view_.Panel == TPanel::PhoneBook; }));
  EXPECT_LT(view_.Height, inCall);
  EXPECT_TRUE(view_.Peaks.empty());  // the trace no longer covers the status
}

// The speaker picked is the one the next call opens, although the one listed before it went
// while the phone book showed: the lists change only in front of the person choosing.
TEST_F(CallControlTest, APickedDeviceIsTheNextCallsAndListsWaitForTheConnectionPanel) {
  Start();
  wave_.SetDevices({"B", "Test speaker"}, {"Test microphone"});
  ASSERT_TRUE(Await([&] { return Shown("devices 2/1 connect"); }));  // still "Test speaker"
  control_->WaveOutListChange(0);
  Register();
  wave_.SetDevices({"B"}, {"Test microphone"});
  view_.Log.clear();
  Call();
  control_->SetMode(TPanel::Connexion);
  ASSERT_TRUE(Await([&] { return Shown("devices 1/1 connect"); }));
  wave_.SetDevices({}, {"Mic"});
  ASSERT_TRUE(Await([&] { return Shown("devices 0/1 greyed"); }));
  control_.reset();  // closed during the call: the media's last word goes all the same
  EXPECT_EQ(farRtcp_.Receive().value().at(1), '\xCB');  // the RTCP BYE
}

// A call answered while the last one's RTCP BYEs still repeat (the far end, which hung up, still
// sends RTP): the last call's audio thread stops before the new call opens the RTP socket it
// reads, and the last call's end is over for good.
TEST_F(CallControlTest, ACallAnsweredWhileTheLastOneEndsStopsItFirst) {
  InCall();
  std::atomic<bool> talking = true;
  std::thread farEnd([&] {  // RTP version 2, payload type 8, then A-law silence
    std::string packet =
        std::string("\x80\x08\0\0\0\0\0\0\0\0\0\x01", 12) + std::string(240, '\xD5');
    for (std::uint8_t sequence = 0; talking; std::this_thread::sleep_for(1ms)) {
      packet[3] = static_cast<char>(++sequence);
      far_.SendTo(*options_.RtpPort, packet);
    }
  });
  sip_.Reply(testsupport::SipRequest("BYE", last_, ""));
  Next("SIP/2.0");
  control_->CancelClick();  // Fermer
  ASSERT_TRUE(Await([&] { return view_.Panel == TPanel::PhoneBook; }));
  Call();
  control_->CancelClick();  // its own end begins at once
  EXPECT_EQ(wave_.OpenDevices(), kPlaybackOnly);
  talking = false;
  farEnd.join();
}

TEST_F(CallControlTest, ThePhoneBookOfEachAccount) {
  Start();
  Register();
  TPhoneBook& book = control_->PhoneBook();
  book.PhoneBookAddClick();
  EXPECT_EQ(view_.Panel, TPanel::PhoneEntry);
  book.PhoneEntryAcceptClick("", "1");
  book.PhoneEntryAcceptClick("Anne", "");
  EXPECT_TRUE(Shown("message Veuillez indiquer le nom de votre correspondant") && Shown("focus 4"));
  EXPECT_TRUE(Shown("message Veuillez indiquer le numéro de votre correspondant") &&
              Shown("focus 5"));
  book.PhoneEntryAcceptClick("Anne", "1");
  book.PhoneEntryAcceptClick("anne", "2");  // the same name as the file compares them
  book.PhoneEntryAcceptClick("Bob", "3");
  EXPECT_EQ(view_.Contacts, (Strings{"Anne", "Bob"}));
  EXPECT_EQ(view_.Panel, TPanel::PhoneBook);
  book.PhoneBookListClick("Anne");
  book.PhoneBookChangeClick("Bob");
  EXPECT_TRUE(Shown("number 2") && Shown("entry Bob=3"));
  view_.Yes = false;
  book.PhoneBookDelClick("Anne");
  view_.Yes = true;
  book.PhoneBookDelClick("Anne");
  EXPECT_EQ(std::ranges::count(view_.Log, std::string("question Voulez-vous supprimer Anne ?")), 2);
  EXPECT_EQ(std::ranges::count(view_.Log, std::string("removed")), 1);
  view_.Typed.UserID = "999";
  control_->SetMode(TPanel::PhoneBook);
  EXPECT_EQ(view_.Contacts, Strings{});
  view_.Typed.UserID = "0123";
  control_->PhoneBookClick(TPanel::PhoneBook);
  EXPECT_EQ(view_.Contacts, Strings{"Bob"});
  control_->PhoneBookCloseClick();
  Next("REGISTER");
  Reply(200);
  ASSERT_TRUE(Await([&] { return view_.Panel == TPanel::Connexion; }));
}

}  // namespace
}  // namespace app
