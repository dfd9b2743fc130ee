// What the program's arguments ask for. It takes no argument but --help and --version, which
// are answered before any window (or display) is needed.
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
