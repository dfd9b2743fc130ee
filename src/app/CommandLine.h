// What the program's arguments ask for. It takes no argument of its own but --help and
// --version, which are answered before any window (or display) is needed, and lets Qt's
// standard options (-platform xcb, a session manager's -session ID) through to Qt.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace app {

// How a run asked only for text ends: what goes to which stream, and the exit status.
struct TCommandLineExit {
  int Status = 0;
  std::string Output;  // standard output
  std::string Error;   // standard error
};

// Nothing when the window is to open (no arguments); else how to end at once. `arguments`
// excludes the program's own name.
std::optional<TCommandLineExit> ReadCommandLine(std::span<const char* const> arguments);

}  // namespace app
