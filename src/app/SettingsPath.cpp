#include "app/SettingsPath.h"

#include <limits.h>
#include <unistd.h>

namespace app {

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return {};
  return std::string(buffer, static_cast<std::size_t>(length));
}

std::string SettingsPathBeside(const std::string& path) {
  const auto slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return path + ".ini";
  return path.substr(0, dot) + ".ini";
}

std::string ChooseSettingsPath(const std::string& besideExecutable,
                               const std::string& userConfigFolder, const std::string& home) {
  if (access(besideExecutable.c_str(), F_OK) == 0) return besideExecutable;
  const std::string inUserFolder = userConfigFolder + "/" + kUserSettingsFileName;
  const auto slash = besideExecutable.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".")
                             : slash == 0               ? std::string("/")
                                                        : besideExecutable.substr(0, slash);
  // Root may write the system's, but a file there belongs to no package and outlives the
  // program; a user's own program folders are shared by all the programs installed there.
  for (const std::string& programs :
       {std::string("/bin"), std::string("/usr/bin"), std::string("/usr/local/bin"), home + "/bin",
        home + "/.local/bin"}) {
    if (folder == programs) return inUserFolder;
  }
  // The atomic replacement creates a temporary file in the folder, so writing the folder is
  // what counts, not writing the file.
  if (access(folder.c_str(), W_OK | X_OK) == 0) return besideExecutable;
  return inUserFolder;
}

}  // namespace app
