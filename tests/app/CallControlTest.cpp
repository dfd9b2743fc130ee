// The call control with the real protocol objects: a scripted SIP server, a STUN server and the
// far end's media on loopback, the audio engine on the in-process wave backend, and a view that
// records what it is told to show.
#include "app/CallControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "app/LevelTrace.h"
#include "app/PrivateProfile.h"
#include "sip/SipMessage.h"
#include "support/Command.h"
#include "support/EventLoopHandOff.h"
#include "support/LoopbackPeer.h"
#include "support/TestWave.h"

namespace app {
namespace {

using namespace std::chrono_literals;
using testsupport::LoopbackPeer;
using Strings = std::vector<std::string>;

struct View final : TCallView {
  TAccount TypedAccount() const override { return Typed; }
  void ShowAccount(const TAccount& account) override {
    Typed = account;
    Log.push_back("account " + account.Username + "/" + account.UserID + "/" + account.Password +
                  "/" + account.Domain + (account.RememberPassword ? " remembered" : ""));
  }
  void ShowPanel(TPanel panel, std::optional<std::string_view> title) override {
    Panel = panel;
    Log.push_back("panel " + std::to_string(static_cast<int>(panel)) + " " +
                  std::string(title.value_or("(design)")));
  }
  void ShowCaption(TCaption caption, std::optional<std::string_view> text) override {
    static const char* const kNames[] = {"Title", "Status", "Cancel", "lbAddr", "Addr"};
    Log.push_back(kNames[static_cast<int>(caption)] +
                  ("=" + std::string(text.value_or("(design)"))));
  }
  void SetWaitPanelHeight(int height) override { Height = height; }
  void ShowDevices(const TDeviceList& outputs, const TDeviceList& inputs, bool enabled) override {
    Log.push_back("devices " + std::to_string(outputs.Names.size()) + "/" +
                  std::to_string(inputs.Names.size()) + (enabled ? " connect" : " greyed"));
  }
  void SelectDevices(int, int) override {}
  void ShowLevelTrace(const LevelTrace& trace) override { Peaks.push_back(trace.Peak); }
  void ShowContacts(const Strings& names) override { Contacts = names; }
  void RemoveSelectedContact() override { Log.push_back("removed"); }
  void ShowNumber(const std::string& number) override { Log.push_back("number " + number); }
  void ShowEntry(const std::string& name, const std::string& number) override {
    Log.push_back("entry " + name + "=" + number);
  }
  void Focus(TBox box) override { Log.push_back("focus " + std::to_string(static_cast<int>(box))); }
  void ShowMessage(const std::string& text) override { Log.push_back("message " + text); }
  bool Confirm(const std::string& question) override {
    Log.push_back("question " + question);
    return Yes;
  }
  void NoteState(std::string_view) override {}

  TAccount Typed{"Alice", "0123", "pw", "127.0.0.1", true};
  Strings Log, Contacts;
  std::vector<int> Peaks;
  TPanel Panel = TPanel::Wait;
  int Height = 0;
  bool Yes = true;
};

std::string Block(std::int16_t sample) {  // one capture block: silence and one sample
  std::string block(480, '\0');
  block[200] = static_cast<char>(sample & 0xFF);
  block[201] = static_cast<char>((sample >> 8) & 0xFF);
  return block;
}

// Two peers on consecutive ports, as RTP and RTCP are.
std::pair<std::unique_ptr<LoopbackPeer>, std::unique_ptr<LoopbackPeer>> MediaPorts() {
  for (;;) {
    try {
      auto rtp = std::make_unique<LoopbackPeer>(testsupport::FreeLoopbackPort() & ~1);
      auto rtcp = std::make_unique<LoopbackPeer>(rtp->Port() + 1);
      return {std::move(rtp), std::move(rtcp)};
    } catch (const std::runtime_error&) {
    }
  }
}

std::string Md5sum(const std::string& text) {
  return testsupport::RunCommand("md5sum", text).Output.substr(0, 32);
}

class CallControlTest : public ::testing::Test {
 protected:
  CallControlTest() {
    std::tie(far_, farRtcp_) = MediaPorts();
    options_.RtpPort = MediaPorts().first->Port();  // free again, with the port above it
    options_.Wave = &wave_;
    options_.SettingsPath = folder_.Path() + "/telvarion.ini";
    options_.StunServer = "127.0.0.1";
    options_.SipServerPort = sip_.Port();
    options_.StunServerPort = stun_.Port();
    std::tie(options_.SipLocalPort, options_.StunLocalPort) = std::pair(ports_[0], ports_[1]);
  }

  void Start() { control_ = std::make_unique<TCallControl>(view_, loop_, options_); }
  bool Shown(const std::string& entry) const {
    return std::ranges::find(view_.Log, entry) != view_.Log.end();
  }
  bool Await(const std::function<bool()>& done) { return loop_.RunUntil(done, 3s); }

  // The next request of the server, which must be `method`.
  void Next(const std::string& method) {
    std::optional<std::string> request;
    ASSERT_TRUE(Await([&] { return (request = sip_.Receive(1ms)).has_value(); })) << method;
    last_ = *request;
    ASSERT_EQ(last_.substr(0, last_.find(' ')), method);
  }
  void Reply(int code, const std::string& body = "") {
    std::string text = "SIP/2.0 " + std::to_string(code) + " X\r\n";
    for (const char* name : {"Via", "From", "To", "Call-ID", "CSeq"})
      text += std::string(name) + ":" + sip::GetHeader(last_, name) + "\r\n";
    if (code == 401) text += "WWW-Authenticate: Digest realm=\"r\", nonce=\"n\", algorithm=MD5\r\n";
    sip_.SendTo(ports_[0],
                text + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  }
  void Registered(bool start = true) {
    if (start) Start();
    control_->ConnectClick();
    Next("REGISTER");
    Reply(200);
    ASSERT_TRUE(Await([&] { return view_.Panel == TPanel::PhoneBook; }));
  }
  void InCall() {
    Registered();
    control_->PhoneBookCallClick("0612");
    Next("INVITE");
    Reply(200, "v=0\r\nm=audio " + std::to_string(far_->Port()) +
                   " RTP/AVP 8\r\nc=IN IP4 127.0.0.1\r\n");
    Next("ACK");
    ASSERT_EQ(far_->Receive()->size(), 12u);  // the call's first RTP packet: a header alone
  }

  testsupport::TemporaryDirectory folder_;
  testsupport::TestWaveBackend wave_;
  testsupport::EventLoopHandOff loop_;
  LoopbackPeer sip_, stun_;
  std::unique_ptr<LoopbackPeer> far_, farRtcp_;
  const std::vector<std::uint16_t> ports_ = testsupport::FreeLoopbackPorts(2);
  TCallControlOptions options_;
  View view_;
  std::string last_;
  std::unique_ptr<TCallControl> control_;
};

TEST_F(CallControlTest, EmptyAccountFieldsAreRefusedInOrder) {
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
    EXPECT_EQ(view_.Log, (Strings{fields[i].second, "focus " + std::to_string(i)}));
  }
  EXPECT_FALSE(sip_.Receive(50ms));
}

TEST_F(CallControlTest, ARegistrationSavesTheAccountAndTheNextStartLoadsIt) {
  Start();
  EXPECT_TRUE(Shown("panel 0 (design)"));
  EXPECT_TRUE(Shown("devices 1/1 connect"));
  control_->ConnectClick();
  EXPECT_TRUE(Shown("Status=(design)") && Shown("Cancel=(design)") && Shown("panel 1 (design)"));
  Next("REGISTER");
  Reply(401);
  Next("REGISTER");
  Reply(200);
  ASSERT_TRUE(Await([&] { return view_.Panel == TPanel::PhoneBook; }));
  const std::string file = options_.SettingsPath;
  const std::string digest = "{" + Md5sum("0123:127.0.0.1:pw") + "}";
  EXPECT_EQ(ReadProfileString(file, "Telvarion", "LastID", ""), "0123");
  EXPECT_EQ(ReadProfileSection(file, "0123"),
            (Strings{"Name", "Pass", "Domain", "WaveIn", "WaveOut"}));
  EXPECT_EQ(ReadProfileString(file, "0123", "Pass", ""), digest);
  EXPECT_EQ(ReadProfileString(file, "0123", "WaveIn", ""), "Test microphone");
  control_.reset();  // un-registers on the way out, silently
  Next("REGISTER");
  EXPECT_NE(last_.find("Expires: 0\r\n"), std::string::npos);

  view_ = View{};
  view_.Typed = {"Design", "087", "", "sip.brovandes.fr", false};
  DeleteProfileKey(file, "0123", "Name");  // a missing key leaves the box's design text
  Start();
  EXPECT_TRUE(Shown("account Design/0123/" + digest + "/127.0.0.1 remembered"));
  view_.Typed.RememberPassword = false;  // the digest stands for the password, then is forgotten
  control_->ConnectClick();
  Next("REGISTER");
  Reply(401);
  Next("REGISTER");
  const std::string response =
      Md5sum(digest.substr(1, 32) + ":n:" + Md5sum("REGISTER:sip:127.0.0.1"));
  EXPECT_NE(last_.find("response=\"" + response + "\""), std::string::npos);
  Reply(200);
  ASSERT_TRUE(Await([&] { return view_.Panel == TPanel::PhoneBook; }));
  EXPECT_EQ(ReadProfileString(file, "0123", "Pass", "none"), "none");
  EXPECT_EQ(ReadProfileString(file, "0123", "Name", ""), "Design");
}

TEST_F(CallControlTest, ACallCarriesSpeechAndKeysButNotSilence) {
  InCall();
  EXPECT_TRUE(Shown("Status=en ligne !"));
  EXPECT_EQ(view_.Height, 225);
  for (const std::int16_t sample : {std::int16_t{983}, std::int16_t{-984}, std::int16_t{0}})
    wave_.Feed(Block(sample));
  wave_.Advance(90ms);
  ASSERT_TRUE(Await([&] { return view_.Peaks.size() == 3; }));
  EXPECT_EQ(view_.Peaks, (std::vector<int>{1, 2, 0}));
  EXPECT_EQ(far_->Receive()->size(), 12u + 240);  // only the loud block was sent
  EXPECT_FALSE(far_->Receive(100ms));
  control_->FormKeyPress(U'5');
  control_->FormKeyPress(U'x');
  control_->nSharpClick(11);
  EXPECT_EQ(far_->Receive()->size(), 252u);
  EXPECT_EQ(far_->Receive()->size(), 252u);
  EXPECT_FALSE(far_->Receive(50ms));
  control_->CancelClick();
  Next("BYE");
  EXPECT_EQ(farRtcp_->Receive()->at(1), '\xCB');  // the RTCP BYE
  EXPECT_FALSE(wave_.InputOpen() || wave_.OutputOpen());
  Reply(200);
  ASSERT_TRUE(Await([&] { return view_.Panel == TPanel::PhoneBook; }));
  control_->FormKeyPress(U'5');  // out of a call: no tone
  EXPECT_FALSE(far_->Receive(50ms));
}

TEST_F(CallControlTest, AFarEndHangUpWaitsForFermer) {
  InCall();
  sip_.SendTo(ports_[0], "BYE sip:x SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1\r\nCall-ID:" +
                             sip::GetHeader(last_, "Call-ID") +
                             "\r\nCSeq: 5 BYE\r\nContent-Length: 0\r\n\r\n");
  Next("SIP/2.0");
  EXPECT_TRUE(Shown("Status=votre correspond a raccroché") && Shown("Cancel=Fermer"));
  EXPECT_EQ(view_.Panel, TPanel::Wait);
  EXPECT_EQ(view_.Height, 113);
  control_->CancelClick();
  EXPECT_EQ(view_.Panel, TPanel::PhoneBook);
  EXPECT_FALSE(sip_.Receive(50ms));
}

TEST_F(CallControlTest, ARefusalLeadsBackToTheConnectionPanel) {
  Start();
  control_->ConnectClick();
  Next("REGISTER");
  Reply(403);
  Next("ACK");
  ASSERT_TRUE(Shown("Status=Identifiant ou mot de passe invalide !") && Shown("Cancel=Fermer"));
  control_->CancelClick();
  EXPECT_EQ(view_.Panel, TPanel::Connexion);
  EXPECT_FALSE(std::ifstream(options_.SettingsPath));
}

TEST_F(CallControlTest, ThePublicAddressGoesIntoTheOffer) {
  Start();
  const std::string request = stun_.Receive().value();
  stun_.SendTo(ports_[1], "\x01\x01" + std::string("\0\x0C", 2) + request.substr(4, 16) +
                              std::string("\0\x01\0\x08\0\x01\x0D\x96\xCB\x00\x71\x07", 12));
  ASSERT_TRUE(Await([&] { return Shown("Addr=203.0.113.7"); }));
  EXPECT_TRUE(Shown("lbAddr=Votre adresse IP publique :"));
  Registered(false);
  control_->PhoneBookCallClick("0612");
  Next("INVITE");
  EXPECT_NE(last_.find("c=IN IP4 203.0.113.7\r\n"), std::string::npos);
}

TEST_F(CallControlTest, DevicesChangingBehindAnotherPanelAreListedOnItsReturn) {
  Start();
  wave_.SetDevices({}, {"Mic"});
  ASSERT_TRUE(Await([&] { return Shown("devices 0/1 greyed"); }));
  wave_.SetDevices({"A", "B"}, {"Mic"});
  ASSERT_TRUE(Await([&] { return Shown("devices 2/1 connect"); }));
  control_->WaveOutListChange(1);
  control_->SetMode(TPanel::PhoneBook);
  wave_.SetDevices({"B", "A"}, {"Mic"});
  loop_.RunFor(50ms);
  view_.Log.clear();
  control_->SetMode(TPanel::Connexion);
  EXPECT_EQ(view_.Log, (Strings{"devices 2/1 connect", "panel 0 (design)"}));
  Registered(false);
  EXPECT_EQ(ReadProfileString(options_.SettingsPath, "0123", "WaveOut", ""), "B");  // by name
}

TEST_F(CallControlTest, ThePhoneBookOfEachAccount) {
  Registered();
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
