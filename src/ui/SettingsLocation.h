// The settings file's place for the running program (Qt supplies the per-user folder).
#pragma once

#include <string>

namespace ui {

// The settings file beside the executable, or telvarion.ini in the per-user configuration
// folder (created when needed) when the executable's folder is not writable and holds no
// settings file.
std::string SettingsFilePath();

}  // namespace ui
