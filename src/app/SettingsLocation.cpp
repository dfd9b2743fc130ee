#include "app/SettingsLocation.h"

#include <QDir>
#include <QStandardPaths>

#include "app/SettingsPath.h"

namespace app {

std::string SettingsFilePath() {
  const std::string beside = SettingsPathBeside(ExecutablePath());
  const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  const std::string chosen = ChooseSettingsPath(beside, userFolder.toStdString());
  if (chosen != beside) QDir().mkpath(userFolder);
  return chosen;
}

}  // namespace app
