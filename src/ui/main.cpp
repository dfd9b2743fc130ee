// The softphone: one window, shown until it is closed.
#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include "app/Provider.h"
#include "app/SettingsLocation.h"
#include "platform/PulseWave.h"
#include "ui/MainForm.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Names the per-user configuration folder (~/.config/telvarion) of a system-wide install.
  QApplication::setApplicationName("telvarion");
  platform::PulseWaveBackend audio;
  ui::TMainFormOptions options;
  options.Wave = &audio;
  options.SettingsPath = app::SettingsFilePath();
  options.StunServer = app::kStunServer;
  options.OpenUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
  ui::TMainForm window(options);
  window.show();
  return QApplication::exec();
}
