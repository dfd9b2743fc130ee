#include "ui/SettingsLocation.h"

#include <QDir>
#include <QStandardPaths>

#include "app/SettingsPath.h"

namespace ui {

std::string SettingsFilePath() {
  const std::string beside = app::SettingsPathBeside(app::ExecutablePath());
  const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  const std::string chosen =
      app::ChooseSettingsPath(beside, userFolder.toStdString(), QDir::homePath().toStdString());
  if (chosen != beside) QDir().mkpath(userFolder);
  return chosen;
}

}  // namespace ui
