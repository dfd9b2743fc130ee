// Call control, phone book and keys with the real protocol objects: the window registers and
// calls through a scripted SIP server on loopback, media go to a loopback peer, and the audio
// engine runs on the test wave backend.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

#include "app/IniFile.h"
#include "app/Provider.h"
#include "media/Pcma.h"
#include "media/RtcpClient.h"
#include "media/RtpClient.h"
#include "media/RtpHeader.h"
#include "net/StunClient.h"
#include "platform/Address.h"
#include "platform/TestWave.h"
#include "sip/SipClient.h"
#include "sip/SipMessage.h"
#include "support/LoopbackPeer.h"
#include "ui/ClickLabel.h"
#include "ui/MainForm.h"
#include "ui/PaintBox.h"

namespace {

using testsupport::LoopbackPeer;
using namespace std::chrono_literals;

QString U(const char* text) {
  return QString::fromUtf8(text);
}

std::string Method(const std::string& request) {
  return request.substr(0, request.find(' '));
}

// The window with its message boxes recorded and its questions answered by the test.
class Window final : public ui::TMainForm {
 public:
  using ui::TMainForm::TMainForm;
  QStringList Messages;
  QStringList Questions;
  bool Answer = true;

 protected:
  void ShowMessage(const QString& text) override { Messages << text; }
  bool Confirm(const QString& text) override {
    Questions << text;
    return Answer;
  }
};

// Two loopback peers on consecutive ports: the remote party's RTP and RTCP.
struct MediaPeer {
  std::unique_ptr<LoopbackPeer> Rtp;
  std::unique_ptr<LoopbackPeer> Rtcp;
  MediaPeer() {
    for (int attempt = 0; attempt < 100 && !Rtcp; ++attempt) {
      try {
        auto rtp = std::make_unique<LoopbackPeer>();
        if (rtp->Port() % 2 != 0 || rtp->Port() > 65000) continue;
        Rtcp = std::make_unique<LoopbackPeer>(static_cast<std::uint16_t>(rtp->Port() + 1));
        Rtp = std::move(rtp);
      } catch (const std::runtime_error&) {
      }
    }
  }
};

std::string Loud(int sample) {
  std::string block(480, '\0');
  for (int i = 0; i < 240; ++i) {
    const auto value = static_cast<std::uint16_t>(static_cast<std::int16_t>(i == 100 ? sample : 0));
    block[2 * i] = static_cast<char>(value & 0xFF);
    block[2 * i + 1] = static_cast<char>(value >> 8);
  }
  return block;
}

}  // namespace

class CallControlTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> folder;
  std::unique_ptr<platform::TestWaveBackend> wave;
  std::unique_ptr<LoopbackPeer> server;
  std::unique_ptr<LoopbackPeer> stunServer;
  std::unique_ptr<MediaPeer> media;
  std::unique_ptr<Window> window;
  std::uint16_t sipPort = 0;
  std::string last;  // the last request the server got
  std::uint16_t stunLocal = 0;

  std::string SettingsPath() const { return (folder->path() + "/telvarion.ini").toStdString(); }

  template <typename T = QWidget>
  T* Find(const char* name) {
    return window->findChild<T*>(QString::fromLatin1(name));
  }
  QLineEdit* Box(const char* name) { return Find<QLineEdit>(name); }
  QString StatusText() { return Find<ui::TClickLabel>("Status")->text(); }
  QString CancelText() { return Find<ui::TClickLabel>("Cancel")->text(); }

  void Click(const char* name) { emit Find<ui::TClickLabel>(name)->clicked(); }

  // The next request the server gets; fails the test when none comes.
  std::string Next(const char* method) {
    std::optional<std::string> request;
    // The window's loop keeps running meanwhile: the engine's hand-offs need it.
    const bool arrived =
        QTest::qWaitFor([&] { return (request = server->Receive(5ms)).has_value(); }, 3000);
    if (!arrived) {
      qWarning("no %s came (messages: %s)", method, qPrintable(window->Messages.join("/")));
      return {};
    }
    last = *request;
    if (Method(last) != method) qWarning("expected %s, got %s", method, last.c_str());
    return last;
  }

  void Answer(int code, const std::string& extra = "", const std::string& body = "") {
    std::string text = "SIP/2.0 " + std::to_string(code) + " Reason\r\n";
    for (const char* name : {"Via", "From"}) {
      text += std::string(name) + ":" + sip::GetHeader(last, name) + "\r\n";
    }
    text += "To:" + sip::GetHeader(last, "To") + (code > 100 ? ";tag=srv" : "") + "\r\n";
    for (const char* name : {"Call-ID", "CSeq"}) {
      text += std::string(name) + ":" + sip::GetHeader(last, name) + "\r\n";
    }
    text += extra + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    server->SendTo(sipPort, text);
  }

  // The next datagram on `peer`, with the window's loop running meanwhile.
  static std::optional<std::string> Receive(const LoopbackPeer& peer,
                                            std::chrono::milliseconds timeout = 3000ms) {
    std::optional<std::string> datagram;
    if (!QTest::qWaitFor([&] { return (datagram = peer.Receive(5ms)).has_value(); },
                         static_cast<int>(timeout.count()))) {
      return std::nullopt;
    }
    return datagram;
  }

  bool WaitForState(sip::TSIPState state) {
    return QTest::qWaitFor([&] { return window->SIPClient->State == state; }, 5000);
  }

  std::string Answer200Sdp(const std::string& port) const {
    return "v=0\r\no=peer 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
           "m=audio " +
           port + " RTP/AVP 8\r\n";
  }

  void Start() {
    ui::TMainFormOptions options;
    options.Wave = wave.get();
    options.SettingsPath = SettingsPath();
    options.StunServer = "127.0.0.1";
    // Our RTP port, its RTCP port, the SIP and STUN ports: all different.
    const std::vector<std::uint16_t> ports = testsupport::FreeLoopbackPorts(6);
    std::vector<std::uint16_t> rest;
    std::uint16_t rtp = 0;
    for (const std::uint16_t port : ports) {
      const bool pairFree = port % 2 == 0 && port < 65000 &&
                            std::find(ports.begin(), ports.end(), port + 1) == ports.end();
      if (rtp == 0 && pairFree) {
        rtp = port;
      } else {
        rest.push_back(port);
      }
    }
    if (rtp == 0) rtp = 40000;
    options.SipLocalPort = sipPort = rest.at(0);
    options.SipServerPort = server->Port();
    options.RtpPort = rtp;
    options.StunLocalPort = rest.at(1);
    options.StunServerPort = stunServer->Port();
    stunLocal = options.StunLocalPort;
    window = std::make_unique<Window>(options);
  }

  // Registration through the connect button, with a digest challenge first.
  void LogIn() {
    Box("Username")->setText("Alice");
    Box("UserID")->setText("0611111111");
    Box("Password")->setText("s3cret");
    Box("Domain")->setText("127.0.0.1");
    window->ConnectClick();
    Next("REGISTER");
    Answer(401, "WWW-Authenticate: Digest realm=\"127.0.0.1\", nonce=\"n\", algorithm=MD5\r\n");
    Next("REGISTER");
    Answer(200);
    QVERIFY(WaitForState(sip::ssRegistered));
  }

  // A call answered with the media peer's port, up to the first RTP packet.
  void CallAndAnswer() {
    Box("PhoneBookNumber")->setText("0699999999");
    Click("PhoneBookCall");
    Next("INVITE");
    Answer(180);
    QVERIFY(WaitForState(sip::ssRinging));
    Answer(200, "Content-Type: application/sdp\r\n",
           Answer200Sdp(std::to_string(media->Rtp->Port())));
    QVERIFY(WaitForState(sip::ssInCall));
    Next("ACK");
    const std::optional<std::string> first = Receive(*media->Rtp, 3000ms);
    QVERIFY(first.has_value());
    QCOMPARE(first->size(), std::size_t{12});  // the empty first packet of the call
  }

 private slots:
  void init() {
    folder = std::make_unique<QTemporaryDir>();
    wave = std::make_unique<platform::TestWaveBackend>();
    server = std::make_unique<LoopbackPeer>();
    stunServer = std::make_unique<LoopbackPeer>();
    media = std::make_unique<MediaPeer>();
    QVERIFY(media->Rtcp != nullptr);
    Start();
  }

  void cleanup() {
    window.reset();
    wave.reset();
  }

  void connectChecksTheFourBoxesInOrder() {
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    for (const char* name : {"Username", "UserID", "Password", "Domain"})
      Box(name)->clear();
    window->ConnectClick();
    Box("Username")->setText("   ");  // blanks pass
    window->ConnectClick();
    Box("UserID")->setText("0611");
    window->ConnectClick();
    Box("Password")->setText("x");
    window->ConnectClick();
    QCOMPARE(window->Messages,
             (QStringList{
                 U("Veuillez indiquer votre pseudo"),
                 U("Veuillez indiquer votre identifiant SIP (08 7x xx xx xx)"),
                 U("Veuillez indiquer votre mot de passe SIP"),
                 U("Veuillez indiquer votre domaine SIP (") + U(app::kProviderDomain) + U(")")}));
    QCOMPARE(QApplication::focusWidget(), Box("Domain"));
    QCOMPARE(window->CurrentMode(), 0);
    QVERIFY(!server->Receive(100ms).has_value());
  }

  void theRoadOfOneUse() {
    LogIn();
    QCOMPARE(window->CurrentMode(), 2);
    CallAndAnswer();
    QCOMPARE(StatusText(), U("en ligne !"));
    QCOMPARE(Find<QWidget>("WaitPanel")->height(), 225);
    QCOMPARE(window->CurrentMode(), 1);

    // Speech goes out; hang up: BYE, the RTCP BYE, then back to the phone book.
    wave->Feed(Loud(5000));
    wave->Advance(30ms);
    std::optional<std::string> speech;
    QVERIFY((speech = Receive(*media->Rtp)).has_value());
    QCOMPARE(speech->size(), std::size_t{12 + 240});
    window->CancelClick();
    QCOMPARE(StatusText(), U("on raccroche..."));
    Next("BYE");
    const std::optional<std::string> rtcpBye = Receive(*media->Rtcp, 3000ms);
    QVERIFY(rtcpBye.has_value());
    QCOMPARE(static_cast<unsigned char>((*rtcpBye)[1]), 203u);
    Answer(200);
    QVERIFY(WaitForState(sip::ssRegistered));
    QCOMPARE(window->CurrentMode(), 2);

    // Close the book: un-registration, then the connection panel.
    Click("PhoneBookClose");
    QCOMPARE(window->CurrentMode(), 1);
    QVERIFY(Next("REGISTER").find("Expires: 0\r\n") != std::string::npos);
    Answer(200);
    QVERIFY(WaitForState(sip::ssIdle));
    QCOMPARE(window->CurrentMode(), 0);
    QVERIFY(window->Messages.isEmpty());
  }

  void aRefusedRegistrationOffersFermerBackToTheConnectionPanel() {
    Box("Password")->setText("wrong");
    Box("Domain")->setText("127.0.0.1");
    window->ConnectClick();
    QCOMPARE(window->CurrentMode(), 1);
    QCOMPARE(StatusText(), U("connexion en cours..."));
    Next("REGISTER");
    Answer(403);
    QVERIFY(WaitForState(sip::ssRefused));
    QCOMPARE(StatusText(), U("Identifiant ou mot de passe invalide !"));
    QCOMPARE(CancelText(), U("Fermer"));
    window->CancelClick();
    QCOMPARE(window->CurrentMode(), 0);
  }

  void aRemoteHangUpOffersFermerBackToThePhoneBook() {
    LogIn();
    CallAndAnswer();
    server->SendTo(
        sipPort,
        "BYE sip:0611111111@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1;branch=z9\r\n"
        "From: <sip:0699999999@127.0.0.1>;tag=srv\r\nTo: <sip:0611111111@127.0.0.1>\r\n"
        "Call-ID:" +
            sip::GetHeader(last, "Call-ID") + "\r\nCSeq: 5 BYE\r\nContent-Length: 0\r\n\r\n");
    QVERIFY(WaitForState(sip::ssRemoteHangUp));
    QCOMPARE(StatusText(), U("votre correspond a raccroché"));
    QCOMPARE(CancelText(), U("Fermer"));
    QVERIFY(Receive(*media->Rtcp, 3000ms).has_value());  // the RTCP BYE
    window->CancelClick();
    QCOMPARE(window->CurrentMode(), 2);
  }

  void cancelWhileRegistering() {
    Box("Password")->setText("s3cret");
    Box("Domain")->setText("127.0.0.1");
    window->ConnectClick();
    Next("REGISTER");
    window->CancelClick();
    QCOMPARE(static_cast<int>(window->SIPClient->State), static_cast<int>(sip::ssCallFailed));
    QCOMPARE(StatusText(), U("l'appel n'a pas abouti"));
    QCOMPARE(CancelText(), U("Fermer"));
    QCOMPARE(Find<QWidget>("WaitPanel")->height(), 113);
  }

  void mediaFollowTheAnswersLines() {
    LogIn();
    Box("PhoneBookNumber")->setText("0699999999");
    Click("PhoneBookCall");
    Next("INVITE");
    // The connection line after the media line, letters where the port belongs.
    Answer(200, "Content-Type: application/sdp\r\n",
           "v=0\r\nm=audio xyz RTP/AVP 8\r\nc=IN IP4 127.0.0.9\r\n");
    QVERIFY(WaitForState(sip::ssInCall));
    QCOMPARE(window->RTPClient->RemoteAddress.Port, std::uint16_t{0});
    QCOMPARE(platform::AddressToText(window->RTPClient->RemoteAddress.Address),
             std::string("127.0.0.9"));
  }

  void theSilenceGateAndTheLevelTrace() {
    LogIn();
    CallAndAnswer();
    wave->Feed(Loud(983) + Loud(-983) + Loud(-984));
    wave->Advance(60ms);
    QVERIFY(!Receive(*media->Rtp, 200ms).has_value());
    // Every point of the last trace lies within one pixel of the middle line.
    const QImage& trace = Find<ui::TPaintBox>("PaintBox1")->Canvas();
    for (int y = 0; y < trace.height(); ++y) {
      for (int x = 0; x < trace.width(); ++x) {
        if (trace.pixelColor(x, y) == QColor(0, 255, 0)) QVERIFY(qAbs(y - 25) <= 1);
      }
    }
    wave->Advance(30ms);
    QVERIFY(Receive(*media->Rtp, 3000ms).has_value());
  }

  void thePhoneBookOfEachAccount() {
    Box("UserID")->setText("0611111111");
    window->SetMode(2);
    Click("PhoneBookAdd");
    QCOMPARE(window->CurrentMode(), 3);
    Box("PhoneEntryName")->setText("Anne");
    Box("PhoneEntryNumber")->setText("0601");
    Click("PhoneEntryAccept");
    QCOMPARE(window->CurrentMode(), 2);
    auto* list = Find<QListWidget>("PhoneBookList");
    QCOMPARE(list->count(), 1);

    // An existing name is replaced; a rename through MODIFIER keeps the old entry.
    Click("PhoneBookAdd");
    Box("PhoneEntryName")->setText("Anne");
    Box("PhoneEntryNumber")->setText("0602");
    Click("PhoneEntryAccept");
    QCOMPARE(list->count(), 1);
    list->setCurrentRow(0);
    Click("PhoneBookChange");
    QCOMPARE(Box("PhoneEntryNumber")->text(), U("0602"));
    Box("PhoneEntryName")->setText("Annie");
    Click("PhoneEntryAccept");
    QCOMPARE(list->count(), 2);

    // Empty boxes: the two messages, nothing written.
    Click("PhoneBookAdd");
    Click("PhoneEntryAccept");
    Box("PhoneEntryName")->setText("Bob");
    Click("PhoneEntryAccept");
    QCOMPARE(window->Messages,
             (QStringList{U("Veuillez indiquer le nom de votre correspondant"),
                          U("Veuillez indiquer le numéro de votre correspondant")}));
    Click("PhoneEntryCancel");
    QCOMPARE(list->count(), 2);

    // Another account has its own book.
    Box("UserID")->setText("0622222222");
    window->SetMode(2);
    QCOMPARE(list->count(), 0);
    Box("UserID")->setText("0611111111");
    window->SetMode(2);
    QCOMPARE(list->count(), 2);

    // Delete: No keeps, Yes removes from the list and the file.
    list->setCurrentRow(0);
    const QString name = list->item(0)->text();
    window->Answer = false;
    Click("PhoneBookDel");
    QCOMPARE(list->count(), 2);
    window->Answer = true;
    Click("PhoneBookDel");
    QCOMPARE(window->Questions.last(), U("Voulez-vous supprimer ") + name + U(" ?"));
    QCOMPARE(list->count(), 1);
    QCOMPARE(app::TIniFile(SettingsPath()).ReadString("0611111111.Phones", name.toStdString(), "-"),
             std::string("-"));
  }

  void aHandTypedNumberIsCalledUnchanged() {
    LogIn();
    Box("PhoneBookNumber")->clear();
    Click("PhoneBookCall");
    QCOMPARE(window->CurrentMode(), 2);
    Box("PhoneBookNumber")->setText("+33 1*2#");
    Click("PhoneBookCall");
    QVERIFY(Next("INVITE").starts_with("INVITE sip:+33 1*2#@127.0.0.1 SIP/2.0\r\n"));
  }

  void keysDuringACall() {
    LogIn();
    // Not in a call: nothing is sent, the box still gets the character.
    QTest::keyClick(Box("Username"), '5');
    QCOMPARE(Box("Username")->text(), U("Alice5"));
    CallAndAnswer();
    QTest::keyClick(Box("Username"), '5');
    QCOMPARE(Box("Username")->text(), U("Alice55"));
    const std::optional<std::string> tone = Receive(*media->Rtp, 3000ms);
    QVERIFY(tone.has_value());
    QCOMPARE(tone->size(), std::size_t{12 + 240});
    QTest::keyClick(Box("Username"), '.');
    QTest::keyClick(Box("Username"), '#');
    const auto dot = Receive(*media->Rtp, 3000ms);
    const auto hash = Receive(*media->Rtp, 3000ms);
    QVERIFY(dot && hash);
    QCOMPARE(dot->substr(12), hash->substr(12));
    QTest::keyClick(Box("Username"), 'e');
    QVERIFY(!Receive(*media->Rtp, 200ms).has_value());

    // A keypad click sends its key once.
    Click("n5");
    const auto five = Receive(*media->Rtp, 3000ms);
    QVERIFY(five.has_value());
    QCOMPARE(five->substr(12), tone->substr(12));
    QVERIFY(!Receive(*media->Rtp, 200ms).has_value());
  }

  void theUserIdBoxTakesDigitsOnlyAndEnterConnects() {
    Box("UserID")->clear();
    QTest::keyClicks(Box("UserID"), "06 a1");
    QCOMPARE(Box("UserID")->text(), U("061"));
    QTest::keyClick(Box("UserID"), Qt::Key_Backspace);
    QCOMPARE(Box("UserID")->text(), U("06"));
    Box("Domain")->setText("127.0.0.1");
    QTest::keyClick(Box("Password"), 'p');
    QTest::keyClick(Box("Password"), Qt::Key_Return);
    QCOMPARE(window->CurrentMode(), 1);
    QVERIFY(Next("REGISTER").find("sip:06@127.0.0.1") != std::string::npos);
  }

  void thePublicAddressGoesIntoTheOffer() {
    const std::optional<std::string> request = Receive(*stunServer);
    QVERIFY(request.has_value() && request->size() == 20);  // sent at start-up
    auto response = std::string("\x01\x01\x00\x0c", 4) + request->substr(4, 16) +
                    std::string("\x00\x01\x00\x08\x00\x01\x9c\x40\xcb\x00\x71\x09", 12);
    stunServer->SendTo(stunLocal, response);
    QTRY_COMPARE_WITH_TIMEOUT(Box("Addr")->text(), U("203.0.113.9"), 5000);
    QCOMPARE(Find<QLabel>("lbAddr")->text(), U("Votre adresse IP publique :"));
    LogIn();
    Box("PhoneBookNumber")->setText("0699999999");
    Click("PhoneBookCall");
    QVERIFY(Next("INVITE").find("c=IN IP4 203.0.113.9\r\n") != std::string::npos);
  }

  void errorsShowTheirMessagesButUnaskedRequestsDoNot() {
    Box("Password")->setText("s3cret");
    Box("Domain")->setText("127.0.0.1");
    window->ConnectClick();
    Next("REGISTER");
    server->SendTo(sipPort, "OPTIONS sip:x SIP/2.0\r\nTo: <sip:x>\r\nContent-Length: 0\r\n\r\n");
    QTest::qWait(100);
    QVERIFY(window->Messages.isEmpty());
    Answer(401, "WWW-Authenticate: Digest realm=\"r\", nonce=\"n\", algorithm=md5\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(window->Messages, QStringList{U("Accès refusé")}, 5000);
  }
};

QTEST_MAIN(CallControlTest)
#include "CallControlTest.moc"
