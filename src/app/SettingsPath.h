// Where the settings file lies: beside the executable, named after it with ".ini" for its
// extension. A system-wide install cannot write there, so when that folder is not writable,
// or is one of the program folders (the system's, or a user's own ~/bin and ~/.local/bin, which
// hold many programs and no data), and holds no settings file yet, the file goes to the user's
// configuration folder instead.
#pragma once

#include <string>

namespace app {

// The executable's full path, from /proc/self/exe; empty when it cannot be read.
std::string ExecutablePath();

// `path` with the extension of its file name (from the last ".") replaced by ".ini"; a file
// name without a dot gets ".ini" appended. Dots in folder names do not count.
std::string SettingsPathBeside(const std::string& path);

// Name of the settings file in the per-user configuration folder.
inline constexpr const char* kUserSettingsFileName = "telvarion.ini";

// The settings file to use, given the one beside the executable, the per-user configuration
// folder and the user's home folder: the one beside the executable when it exists, or when its
// folder can be written and is not /bin, /usr/bin, /usr/local/bin, `home`/bin or
// `home`/.local/bin; else `userConfigFolder` + "/telvarion.ini".
std::string ChooseSettingsPath(const std::string& besideExecutable,
                               const std::string& userConfigFolder, const std::string& home);

}  // namespace app
