// One complete call through the real window, driven as a person would: log in, call a number,
// speak a tone, press a key, hang up, log out. Run by run-one-call-test inside the client's
// network namespace, against kamailio and an echoing sipp callee; it checks what it can see
// from inside (the echoed tone was played) and prints the figures the script reports. The
// audio devices are the test wave backend, its clock moved in real time from the event loop,
// so that the far end gets one packet per 30 ms as from a sound card.
//   one_call DOMAIN USER_ID PASSWORD NUMBER
// Exit 0 when every step held; 1, after a line starting with "FAIL", otherwise.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "media/DTMF.h"
#include "media/RtcpClient.h"
#include "media/RtpClient.h"
#include "platform/TestWave.h"
#include "sip/SipClient.h"
#include "sip/SipMessage.h"
#include "ui/ClickLabel.h"
#include "ui/MainForm.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kSampleRate = 8000;
constexpr int kBlockSamples = 240;  // 30 ms, one RTP packet
constexpr double kToneHz = 1000.0;
// Well above the silence gate (a peak of 984) and well below clipping.
constexpr double kToneAmplitude = 8000.0;
constexpr int kKey = 5;  // the keypad key "n5"

// Message boxes would block an offscreen run: each is printed and answered Yes instead.
class Window final : public ui::TMainForm {
 public:
  using ui::TMainForm::TMainForm;
  QStringList Messages;

 protected:
  void ShowMessage(const QString& text) override {
    Messages << text;
    std::printf("message box: %s\n", qPrintable(text));
  }
  bool Confirm(const QString& text) override {
    Messages << text;
    return true;
  }
};

std::string Tone(int blocks) {
  std::string linear;
  const int samples = blocks * kBlockSamples;
  linear.reserve(static_cast<std::size_t>(2 * samples));
  for (int i = 0; i < samples; ++i) {
    const auto value = static_cast<std::int16_t>(
        std::lround(kToneAmplitude * std::sin(2.0 * std::numbers::pi * kToneHz * i / kSampleRate)));
    const auto bits = static_cast<std::uint16_t>(value);
    linear.push_back(static_cast<char>(bits & 0xFF));
    linear.push_back(static_cast<char>(bits >> 8));
  }
  return linear;
}

std::vector<double> Samples(const std::string& linear, std::size_t first, std::size_t count) {
  std::vector<double> samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = 2 * (first + i);
    const auto bits = static_cast<std::uint16_t>(static_cast<unsigned char>(linear[at]) |
                                                 (static_cast<unsigned char>(linear[at + 1]) << 8));
    samples[i] = static_cast<std::int16_t>(bits);
  }
  return samples;
}

// The share of a block's energy at one frequency (Goertzel): near 1 for a pure tone there.
double Share(const std::vector<double>& samples, double frequency) {
  const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * frequency / kSampleRate);
  double s1 = 0, s2 = 0, energy = 0;
  for (const double x : samples) {
    const double s0 = x + coefficient * s1 - s2;
    s2 = s1;
    s1 = s0;
    energy += x * x;
  }
  if (energy <= 0) return 0;
  const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
  // A sinusoid of N samples holds N/2 of its energy in the bin's power scaled by 2/N.
  return 2.0 * power / (static_cast<double>(samples.size()) * energy);
}

double Rms(const std::vector<double>& samples) {
  double sum = 0;
  for (const double x : samples)
    sum += x * x;
  return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

class OneCall {
 public:
  OneCall(std::string domain, std::string userId, std::string password, std::string number)
      : domain_(std::move(domain)),
        userId_(std::move(userId)),
        password_(std::move(password)),
        number_(std::move(number)) {}

  int Run() {
    if (!folder_.isValid()) return Fail("no temporary folder for the settings");
    ui::TMainFormOptions options;
    options.Wave = &wave_;
    options.SettingsPath = (folder_.path() + "/telvarion.ini").toStdString();
    // No STUN server runs in these namespaces, so the offer keeps the client's own address
    // behind the NAT; the echoing callee answers to where the packets come from, the NAT.
    options.StunServer = "198.51.100.10";
    options.SipLocalPort = 5060;
    options.SipServerPort = 5060;
    options.RtpPort = 5004;
    options.StunLocalPort = 3478;
    options.StunServerPort = 3478;
    window_ = std::make_unique<Window>(options);
    if (!window_->SIPClient || !window_->RTPClient || !window_->RTCPClient || !window_->Audio)
      return Fail("the window did not make its protocol objects (ports taken?)");
    Instrument();
    window_->show();
    if (!QTest::qWaitForWindowExposed(window_.get(), 5000)) return Fail("the window never showed");

    // The audio devices' clock follows the wall clock, one 30 ms block at a time.
    wallClock_.start();
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [this] { Tick(); });
    ticker.start(5);

    // Log in.
    Box("Username")->setText("Alice");
    Box("UserID")->setText(QString::fromStdString(userId_));
    Box("Password")->setText(QString::fromStdString(password_));
    Box("Domain")->setText(QString::fromStdString(domain_));
    Step("connect");
    window_->ConnectClick();
    if (!WaitForMode(ui::TMainForm::kModePhoneBook, 10000))
      return Fail("never reached the phone book");

    // Call.
    Step("call " + number_);
    Box("PhoneBookNumber")->setText(QString::fromStdString(number_));
    Press("PhoneBookCall");
    if (!WaitFor([&] { return Status() == QStringLiteral("en ligne !"); }, 10000))
      return Fail("the call was never answered (status \"" + Status().toStdString() + "\")");
    Step("in call");

    // Speak: 2.4 s of tone, the key after 1.2 s, then listen to the echo's tail.
    wave_.Feed(Tone(80));
    Wait(1200);
    const std::uint32_t sentBeforeKey = window_->RTPClient->Sequence;
    Step("key n5");
    Press("n5");
    const std::uint32_t sentAfterKey = window_->RTPClient->Sequence;
    Wait(1500);
    if (window_->SIPClient->State != sip::ssInCall) return Fail("the call ended before ANNULER");
    Step("hang up");
    Press("Cancel");
    if (!WaitForMode(ui::TMainForm::kModePhoneBook, 10000))
      return Fail("never back to the phone book");
    // Counters of the call that just ended: the endpoints keep them until the next call.
    const std::uint32_t sent = window_->RTPClient->Sequence;
    const std::uint32_t received = window_->RTCPClient->PacketsReceived.load();

    // Log out, so that the registrar is left as found.
    Step("log out");
    Press("PhoneBookClose");
    const bool loggedOut = WaitForMode(ui::TMainForm::kModeConnexion, 10000);
    ticker.stop();

    std::printf("figures: rtp-sent %u rtp-received %u\n", sent, received);
    if (answeredAt_ && firstRtpAt_) {
      std::printf("figures: 200-to-first-rtp-in-process-us %lld\n",
                  static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                             *firstRtpAt_ - *answeredAt_)
                                             .count()));
    }
    if (answeredAt_ && firstAudioAt_) {
      std::printf("figures: 200-to-first-audio-packet-ms %lld\n",
                  static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             *firstAudioAt_ - *answeredAt_)
                                             .count()));
    }
    const bool played = CheckPlayed();

    bool ok = played;
    ok = Check(answeredAt_.has_value(), "the engine never received a 200 to its INVITE") && ok;
    ok = Check(firstRtpAt_.has_value(), "no RTP packet left when the call was answered") && ok;
    ok =
        Check(sentAfterKey == sentBeforeKey + 1,
              "the key sent " + std::to_string(sentAfterKey - sentBeforeKey) + " packets, not 1") &&
        ok;
    ok = Check(received > 0, "no RTP packet came back") && ok;
    ok = Check(loggedOut, "never back to the connection panel after logging out") && ok;
    ok = Check(window_->Messages.isEmpty(), "a message box was shown") && ok;
    std::printf("%s\n", ok ? "ok" : "FAIL one_call");
    return ok ? 0 : 1;
  }

 private:
  // Prints why a check failed; returns whether it held.
  static bool Check(bool holds, const std::string& why) {
    if (!holds) Fail(why);
    return holds;
  }
  static int Fail(const std::string& why) {
    std::printf("FAIL one_call: %s\n", why.c_str());
    std::fflush(stdout);
    return 1;
  }

  void Step(const std::string& what) {
    std::printf("%7.3f s: %s\n",
                static_cast<double>(wallClock_.isValid() ? wallClock_.elapsed() : 0) / 1000.0,
                what.c_str());
    std::fflush(stdout);
  }

  // Times the 200 to the INVITE as the engine takes it in and the first RTP packet leaving,
  // from the engine's own events, without changing what the window does with them.
  void Instrument() {
    sip::TSIPClient& engine = *window_->SIPClient;
    engine.OnReceive = [this](sip::TSIPClient& client) {
      if (!answeredAt_ && client.HeaderBlock.starts_with("SIP/2.0 200") &&
          sip::GetHeader(client.HeaderBlock, "CSeq").find("INVITE") != std::string::npos)
        answeredAt_ = Clock::now();
    };
    engine.OnCallAnswered = [this, original = engine.OnCallAnswered](sip::TSIPClient& client) {
      if (original) original(client);
      if (!firstRtpAt_ && window_->RTPClient->Sequence > 0) firstRtpAt_ = Clock::now();
    };
  }

  void Tick() {
    const auto due = wallClock_.elapsed() / 30;
    if (due > blocks_) {
      wave_.Advance(std::chrono::milliseconds(30 * (due - blocks_)));
      blocks_ = due;
    }
    // The empty first packet is number 1; audio starts with number 2.
    if (answeredAt_ && !firstAudioAt_ && window_->RTPClient->Sequence > 1)
      firstAudioAt_ = Clock::now();
  }

  QLineEdit* Box(const char* name) {
    return window_->findChild<QLineEdit*>(QString::fromLatin1(name));
  }
  ui::TClickLabel* Label(const char* name) {
    return window_->findChild<ui::TClickLabel*>(QString::fromLatin1(name));
  }
  QString Status() { return Label("Status")->text(); }
  // A mouse click on the label, as a person gives it: press and release over it.
  void Press(const char* name) { QTest::mouseClick(Label(name), Qt::LeftButton); }
  bool WaitForMode(int mode, int timeoutMs) {
    return WaitFor([&] { return window_->CurrentMode() == mode; }, timeoutMs);
  }
  // Runs the event loop until `done` holds or the time is up. QTest's waits sleep 10 ms
  // between rounds with the loop stopped, which would delay every hand-off of the engine and
  // the audio devices and so the figures measured here; this loop sleeps only in its poll,
  // which a posted hand-off ends at once.
  static bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
      if (elapsed.elapsed() >= timeoutMs) return false;
      QEventLoop round;
      QTimer::singleShot(2, Qt::PreciseTimer, &round, &QEventLoop::quit);
      round.exec();
    }
    return true;
  }
  static void Wait(int ms) {
    WaitFor([] { return false; }, ms);
  }

  // What playback consumed, block by block: the echoed tone must be there, loud; the key's
  // two tones too (played locally and echoed).
  bool CheckPlayed() {
    const std::string played = wave_.Played();
    const std::size_t blocks = played.size() / (2 * kBlockSamples);
    int toneBlocks = 0, keyBlocks = 0;
    double bestToneShare = 0, toneRms = 0, bestKeyShare = 0;
    const media::TDTMFPair pair = media::DTMFFrequencies[kKey];
    for (std::size_t b = 0; b < blocks; ++b) {
      const std::vector<double> samples = Samples(played, b * kBlockSamples, kBlockSamples);
      if (Rms(samples) < 100) continue;
      const double tone = Share(samples, kToneHz);
      if (tone > 0.9) {
        ++toneBlocks;
        toneRms = std::max(toneRms, Rms(samples));
      }
      bestToneShare = std::max(bestToneShare, tone);
      const double row = Share(samples, pair.Row), column = Share(samples, pair.Column);
      if (row > 0.3 && column > 0.3 && row + column > 0.8) ++keyBlocks;
      bestKeyShare = std::max(bestKeyShare, std::min(row, column));
    }
    std::printf(
        "figures: played-blocks %zu echoed-1kHz-blocks %d best-1kHz-share %.3f "
        "1kHz-rms %.0f (fed %.0f)\n",
        blocks, toneBlocks, bestToneShare, toneRms, kToneAmplitude / std::sqrt(2.0));
    std::printf("figures: played-key-blocks %d (%d Hz + %d Hz, best weaker share %.3f)\n",
                keyBlocks, pair.Row, pair.Column, bestKeyShare);
    bool ok = true;
    // 80 blocks were fed; a few may be lost to the start of playback and the hang-up.
    ok = Check(toneBlocks >= 40, "the echoed tone was played in " + std::to_string(toneBlocks) +
                                     " blocks, expected at least 40") &&
         ok;
    ok = Check(keyBlocks >= 1, "the key's two tones were never played") && ok;
    return ok;
  }

  std::string domain_, userId_, password_, number_;
  QTemporaryDir folder_;
  platform::TestWaveBackend wave_;
  std::unique_ptr<Window> window_;
  QElapsedTimer wallClock_;
  qint64 blocks_ = 0;
  std::optional<Clock::time_point> answeredAt_, firstRtpAt_, firstAudioAt_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 5) {
    std::printf("FAIL one_call: usage: one_call DOMAIN USER_ID PASSWORD NUMBER\n");
    return 2;
  }
  // Unbuffered figures even when the program is stopped by the script's watchdog.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  OneCall call(argv[1], argv[2], argv[3], argv[4]);
  return call.Run();
}
