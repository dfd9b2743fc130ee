#include "support/Command.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace testsupport {

CommandResult RunCommand(const std::string& command, const std::string& input) {
  TemporaryDirectory scratch;
  const std::string inputPath = scratch.Path() + "/stdin";
  std::ofstream(inputPath, std::ios::binary) << input;
  const std::string full = "(" + command + ") < '" + inputPath + "' 2>&1";
  CommandResult result;
  FILE* pipe = popen(full.c_str(), "r");
  if (pipe == nullptr) return result;
  char chunk[4096];
  std::size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0)
    result.Output.append(chunk, got);
  const int status = pclose(pipe);
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool HaveProgram(const std::string& name) {
  return RunCommand("command -v '" + name + "' >/dev/null").ExitCode == 0;
}

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "telvarion-test-XXXXXX");
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace testsupport
