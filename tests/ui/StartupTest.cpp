// The window's start-up, its settings file and its device lists, with the real protocol
// objects: the SIP engine registers against a fake server on loopback, the audio engine runs
// on the test wave backend.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/IniFile.h"
#include "app/Provider.h"
#include "media/Pcma.h"
#include "media/RtpClient.h"
#include "net/StunClient.h"
#include "platform/TestWave.h"
#include "sip/Digest.h"
#include "sip/SipClient.h"
#include "sip/SipMessage.h"
#include "support/LoopbackPeer.h"
#include "ui/ClickLabel.h"
#include "ui/DeviceLists.h"
#include "ui/MainForm.h"
#include "ui/Shape.h"

namespace {

QString U(const char* text) {
  return QString::fromUtf8(text);
}

// An RTP port whose +1 is free as well.
std::uint16_t FreePortPair() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    const std::uint16_t port = testsupport::FreeLoopbackPort();
    if (port % 2 == 0 && port < 65534) return port;
  }
  return 40000;
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> folder;
  std::unique_ptr<platform::TestWaveBackend> wave;
  std::unique_ptr<testsupport::LoopbackPeer> server;
  std::unique_ptr<testsupport::LoopbackPeer> stunServer;
  std::unique_ptr<ui::TMainForm> window;
  QStringList opened;
  std::uint16_t sipLocalPort = 0;

  std::string SettingsPath() const { return (folder->path() + "/telvarion.ini").toStdString(); }

  ui::TMainFormOptions Options() {
    ui::TMainFormOptions options;
    options.Wave = wave.get();
    options.SettingsPath = SettingsPath();
    options.StunServer = "127.0.0.1";
    const std::vector<std::uint16_t> ports = testsupport::FreeLoopbackPorts(2);
    options.SipLocalPort = ports[0];
    options.SipServerPort = server->Port();
    options.RtpPort = FreePortPair();
    options.StunLocalPort = ports[1];
    options.StunServerPort = stunServer->Port();
    options.OpenUrl = [this](const QString& url) { opened << url; };
    return options;
  }

  void Start(const ui::TMainFormOptions& options) {
    sipLocalPort = options.SipLocalPort;
    window = std::make_unique<ui::TMainForm>(options);
  }
  void Start() { Start(Options()); }

  void WriteSettings(const std::string& text) { std::ofstream(SettingsPath()) << text; }

  std::string Setting(const std::string& section, const std::string& key) {
    return app::TIniFile(SettingsPath()).ReadString(section, key, "<absent>");
  }

  template <typename T = QWidget>
  T* Find(const char* name) {
    return window->findChild<T*>(QString::fromLatin1(name));
  }

  QString TextOf(const char* name) { return Find<QLineEdit>(name)->text(); }

  // Registers the engine as the connect button will: with the boxes' texts, answered by the
  // fake server with a 200.
  void Register() {
    window->SIPClient->Register(TextOf("Username").toStdString(), "127.0.0.1",
                                TextOf("UserID").toStdString(), TextOf("Password").toStdString());
    const std::optional<std::string> request = server->Receive();
    QVERIFY(request.has_value());
    std::string ok = "SIP/2.0 200 OK\r\n";
    for (const char* name : {"Via", "From", "To", "Call-ID", "CSeq"}) {
      ok += std::string(name) + ":" + sip::GetHeader(*request, name) + "\r\n";
    }
    ok += "Content-Length: 0\r\n\r\n";
    server->SendTo(sipLocalPort, ok);
    QTRY_COMPARE_WITH_TIMEOUT(static_cast<int>(window->SIPClient->State),
                              static_cast<int>(sip::ssRegistered), 5000);
  }

 private slots:
  void init() {
    folder = std::make_unique<QTemporaryDir>();
    wave = std::make_unique<platform::TestWaveBackend>();
    server = std::make_unique<testsupport::LoopbackPeer>();
    stunServer = std::make_unique<testsupport::LoopbackPeer>();
    opened.clear();
  }

  void cleanup() {
    window.reset();
    wave.reset();
  }

  void withoutASettingsFileTheDesignTextsStay() {
    Start();
    QCOMPARE(TextOf("Username"), U("Anonymous"));
    QCOMPARE(TextOf("UserID"), U("087"));
    QCOMPARE(TextOf("Password"), QString());
    QCOMPARE(TextOf("Domain"), U(app::kProviderDomain));
    QVERIFY(!Find<QCheckBox>("RememberPassword")->isChecked());
    QCOMPARE(TextOf("Addr"), QString::fromStdString(window->RTPClient->LocalAddress));
    QCOMPARE(window->CurrentMode(), 0);
    QVERIFY(window->STUNClient->Thread.Running());  // waiting for its answer
  }

  void theLastAccountIsLoaded() {
    wave->AddInputDevice("USB headset");
    WriteSettings(
        "[Telvarion]\nLastID=0612345678\n"
        "[0612345678]\nName=Alice\nPass={0a92bfd3b39db9fd0e4b7b9566d170a5}\n"
        "Domain=sip.example.test\nWaveIn=usb HEADSET\nWaveOut=Test speaker\n");
    Start();
    QCOMPARE(TextOf("Username"), U("Alice"));
    QCOMPARE(TextOf("UserID"), U("0612345678"));
    QCOMPARE(TextOf("Password"), U("{0a92bfd3b39db9fd0e4b7b9566d170a5}"));
    QVERIFY(Find<QCheckBox>("RememberPassword")->isChecked());
    QCOMPARE(TextOf("Domain"), U("sip.example.test"));
    QCOMPARE(Find<QComboBox>("WaveInList")->currentText(), U("USB headset"));
    QCOMPARE(window->Audio->InputDevice.load(), 1);
  }

  void aSectionWithoutPassOrNamesKeepsTheDesignTexts() {
    WriteSettings("[Telvarion]\nLastID=0699\n[0699]\nWaveIn=gone device\n");
    Start();
    QCOMPARE(TextOf("UserID"), U("0699"));
    QCOMPARE(TextOf("Password"), QString());
    QVERIFY(!Find<QCheckBox>("RememberPassword")->isChecked());
    QCOMPARE(TextOf("Username"), U("Anonymous"));
    QCOMPARE(TextOf("Domain"), U(app::kProviderDomain));
    QCOMPARE(Find<QComboBox>("WaveInList")->currentIndex(), 0);
  }

  void aRegistrationSavesTheAccount() {
    Start();
    Find<QLineEdit>("Username")->setText("Bob");
    Find<QLineEdit>("UserID")->setText("0611111111");
    Find<QLineEdit>("Password")->setText("s3cret");
    Find<QCheckBox>("RememberPassword")->setChecked(true);
    Register();
    QCOMPARE(Setting("Telvarion", "LastID"), std::string("0611111111"));
    QCOMPARE(Setting("0611111111", "Name"), std::string("Bob"));
    const std::string digest = "{" + sip::PasswordDigest("0611111111", "127.0.0.1", "s3cret") + "}";
    QCOMPARE(Setting("0611111111", "Pass"), digest);
    QCOMPARE(Setting("0611111111", "Domain"), std::string("127.0.0.1"));
    QCOMPARE(Setting("0611111111", "WaveIn"), std::string("Test microphone"));
    QCOMPARE(Setting("0611111111", "WaveOut"), std::string("Test speaker"));
    // No clear password anywhere in the file.
    std::stringstream file;
    file << std::ifstream(SettingsPath()).rdbuf();
    QVERIFY(file.str().find("s3cret") == std::string::npos);

    // Not remembered: the digest goes.
    Find<QCheckBox>("RememberPassword")->setChecked(false);
    Register();
    QCOMPARE(Setting("0611111111", "Pass"), std::string("<absent>"));

    // The braced digest registers again and is stored unchanged.
    Find<QLineEdit>("Password")->setText(QString::fromStdString(digest));
    Find<QCheckBox>("RememberPassword")->setChecked(true);
    Register();
    QCOMPARE(Setting("0611111111", "Pass"), digest);

    // A second identifier becomes the last one; the first section stays.
    Find<QLineEdit>("UserID")->setText("0622222222");
    Register();
    QCOMPARE(Setting("Telvarion", "LastID"), std::string("0622222222"));
    QCOMPARE(Setting("0611111111", "Name"), std::string("Bob"));
  }

  void theSelectionRules() {
    const QStringList three{U("Speakers"), U("Headphones"), U("HDMI")};
    QCOMPARE(ui::ChooseDeviceEntry(-1, QString(), three, U("HEADPHONES")), 1);  // first listing
    QCOMPARE(ui::ChooseDeviceEntry(-1, QString(), three, U("Gone")), 0);
    QCOMPARE(ui::ChooseDeviceEntry(-1, QString(), three, QString()), 0);
    // Later listings: the device chosen before, wherever it now stands...
    QCOMPARE(ui::ChooseDeviceEntry(2, U("HDMI"), three, U("Headphones")), 2);
    const QStringList cameBack{U("Headphones"), U("HDMI"), U("Speakers")};
    QCOMPARE(ui::ChooseDeviceEntry(0, U("Speakers"), cameBack, U("Headphones")), 2);
    // ...else its position while it exists, else the first entry.
    QCOMPARE(ui::ChooseDeviceEntry(1, U("Gone"), three, U("HDMI")), 1);
    QCOMPARE(ui::ChooseDeviceEntry(2, U("Gone"), three.mid(0, 2), U("Headphones")), 0);
  }

  void thePreferredDeviceIsTakenFirstInAnyLetterCase() {
    wave->AddOutputDevice("Headphones");
    wave->AddOutputDevice("HDMI");
    wave->SetDefaults("headphones", "Test microphone");
    Start();
    // The test backend names its devices by their descriptions; the default's name differs
    // in letter case only, and the comparison ignores it.
    auto* list = Find<QComboBox>("WaveOutList");
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->currentIndex(), 0);
    wave->SetDefaults("Headphones", "Test microphone");
    window.reset();
    Start();
    QCOMPARE(Find<QComboBox>("WaveOutList")->currentIndex(), 1);
    QCOMPARE(window->Audio->OutputDevice.load(), 1);
  }

  void aDeviceChangeKeepsOrResetsTheSelection() {
    wave->AddOutputDevice("Two");
    wave->AddOutputDevice("Three");
    Start();
    auto* list = Find<QComboBox>("WaveOutList");
    list->setCurrentIndex(2);
    emit list->activated(2);
    QCOMPARE(window->Audio->OutputDevice.load(), 2);
    wave->AddOutputDevice("Four");  // three or more left: position 2 stays
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), 4, 5000);
    QCOMPARE(list->currentIndex(), 2);
    wave->RemoveOutputDevice("Four");
    wave->RemoveOutputDevice("Three");  // two left: back to the first
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), 2, 5000);
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(window->Audio->OutputDevice.load(), 0);
  }

  void aChangeWhileThePhoneBookShowsWaitsForTheConnectionPanel() {
    Start();
    window->SetMode(ui::TMainForm::kModePhoneBook);
    wave->AddOutputDevice("Late arrival");
    QTRY_VERIFY_WITH_TIMEOUT(window->DeviceRefreshPending(), 5000);
    QCOMPARE(Find<QComboBox>("WaveOutList")->count(), 1);
    window->SetMode(ui::TMainForm::kModeConnexion);
    QCOMPARE(Find<QComboBox>("WaveOutList")->count(), 2);
    QVERIFY(!window->DeviceRefreshPending());
  }

  void withoutACaptureDeviceTheConnectButtonIsGreyed() {
    wave->RemoveInputDevice("Test microphone");
    Start();
    QVERIFY(!Find<ui::TClickLabel>("Connect")->isEnabled());
    QCOMPARE(Find<ui::TShape>("Shape1")->BrushColor(), QColor(0xC0, 0xC0, 0xC0));
    QCOMPARE(window->Audio->InputDevice.load(), -1);
    wave->AddInputDevice("Back again");
    QTRY_VERIFY_WITH_TIMEOUT(Find<ui::TClickLabel>("Connect")->isEnabled(), 5000);
    QCOMPARE(Find<ui::TShape>("Shape1")->BrushColor(), QColor(0xDB, 0x00, 0x16));
  }

  void aTakenStunPortDoesNotStopTheStartUp() {
    testsupport::LoopbackPeer holder;
    auto options = Options();
    options.StunLocalPort = holder.Port();
    WriteSettings("[Telvarion]\nLastID=0633\n[0633]\nName=Carol\n");
    Start(options);
    QCOMPARE(window->STUNClient->ErrorCode.load(), 10048);
    QCOMPARE(TextOf("Username"), U("Carol"));
    QCOMPARE(Find<QComboBox>("WaveOutList")->count(), 1);
  }

  void theLinksOpenTheirPages() {
    Start();
    window->MyAccountClick();
    window->CreditLabelClick();
    QCOMPARE(opened, (QStringList{U(app::kAccountPage), U(app::kCreditPage)}));
  }
};

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
