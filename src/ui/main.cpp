// The softphone: one window, shown until it is closed.
#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QUrl>
#include <csignal>
#include <cstdio>
#include <span>

#include "app/CommandLine.h"
#include "app/Provider.h"
#include "platform/PulseWaveBackend.h"
#include "platform/ThreadGuard.h"
#include "platform/Waker.h"
#include "ui/LagProbe.h"
#include "ui/MainForm.h"
#include "ui/SettingsLocation.h"
#include "ui/SingleInstance.h"
#include "ui/Translations.h"

// A failure that ended a thread's work, other than the silent abort:
// QT_LOGGING_RULES="telvarion.fault.debug=true".
Q_LOGGING_CATEGORY(lcFault, "telvarion.fault", QtInfoMsg)

namespace {

// A session that ends, or a kill from the shell, closes the window as its close button does,
// so that a registered account is un-registered on the way out.
platform::Waker* terminationWaker = nullptr;

void OnTermination(int) {
  if (terminationWaker != nullptr) terminationWaker->Signal();  // write(2): signal-safe
}

void QuitOnTermination(QApplication& application, platform::Waker& waker,
                       QSocketNotifier& notifier) {
  terminationWaker = &waker;
  QObject::connect(&notifier, &QSocketNotifier::activated, &application, &QApplication::quit);
  struct sigaction action {};
  action.sa_handler = OnTermination;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP})
    sigaction(signal, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  // Before the application object, which needs a display: --help works in any terminal.
  if (const auto exit = app::ReadCommandLine(std::span<const char* const>(argv + 1, argc - 1))) {
    std::fputs(exit->Output.c_str(), stdout);
    std::fputs(exit->Error.c_str(), stderr);
    return exit->Status;
  }
  // The level trace is repainted 33 times a second during a call. Through X's shared memory,
  // each repaint first waits for the X server to have read the last one: a round trip and a
  // sleep on the window's thread per block. Sent in the request itself, the 48 KB go without
  // a wait. (Its own setting stands, for anyone who wants the shared memory back.)
  if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
  QApplication application(argc, argv);
  platform::SetFaultLog([](std::string_view work, std::string_view failure) {
    qCDebug(lcFault).noquote() << QString::fromUtf8(work.data(), qsizetype(work.size()))
                               << "stopped:"
                               << QString::fromUtf8(failure.data(), qsizetype(failure.size()));
  });
  // Names the per-user configuration folder (~/.config/telvarion) of a system-wide install.
  QApplication::setApplicationName("telvarion");
  // Ties the window to its menu entry and icon once installed (a desktop's task bar, Wayland).
  QGuiApplication::setDesktopFileName("telvarion");
  QApplication::setWindowIcon(QIcon::fromTheme("telvarion"));
  ui::TSingleInstance instance(ui::InstanceSocketPath());
  if (instance.HandOver()) return 0;  // the running copy shows its window instead
  ui::InstallQtFrench(application);   // without them, Qt's few texts stay English
  // At once, so that a start during this one's start-up waits for it rather than failing
  // later on the ports; it is answered once the window is up.
  ui::TMainForm* shown = nullptr;
  instance.Listen([&shown] {
    if (shown != nullptr) shown->BringToFront();
  });
  platform::Waker termination;
  QSocketNotifier terminationNotifier(termination.Descriptor(), QSocketNotifier::Read);
  QuitOnTermination(application, termination, terminationNotifier);
  platform::PulseWaveBackend audio;
  ui::TMainFormOptions options;
  options.Control.Wave = &audio;
  options.Control.SettingsPath = ui::SettingsFilePath();
  options.Control.StunServer = app::kStunServer;
  options.OpenUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
  ui::TMainForm window(options);
  window.show();
  shown = &window;
  ui::TLagProbe lag;
  lag.StartIfEnabled();
  return QApplication::exec();
}
