// Runs an independent tool (md5sum, tshark) for the tests that use one as their oracle.
#pragma once

#include <string>

namespace testsupport {

struct CommandResult {
  int ExitCode = -1;
  std::string Output;  // standard output and standard error together
};

// Runs `command` through /bin/sh with `input` on its standard input.
CommandResult RunCommand(const std::string& command, const std::string& input = {});

// Whether an executable of that name is on PATH.
bool HaveProgram(const std::string& name);

// A fresh directory below the system's temporary directory, removed by the destructor.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace testsupport
