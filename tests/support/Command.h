// Runs an independent tool (md5sum, tshark) for the tests that use one as their oracle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct CommandResult {
  int ExitCode = -1;
  std::string Output;  // standard output and standard error together
};

// Runs `command` through /bin/sh with `input` on its standard input.
CommandResult RunCommand(const std::string& command, const std::string& input = {});

// md5sum's digest of `text`: the oracle of MD5 and of the digest credentials.
inline std::string Md5sum(const std::string& text) {
  return RunCommand("md5sum", text).Output.substr(0, 32);
}

// tshark's fields (-T fields -e ..., one line per packet, fields separated by "|") for
// `datagrams` sent as UDP from port `from` to port `to` (text2pcap makes the capture);
// `options` may force a decoder (-d ...).
std::vector<std::string> DecodeWithTshark(const std::vector<std::string>& datagrams,
                                          std::uint16_t from, std::uint16_t to,
                                          const std::string& fields,
                                          const std::string& options = {});

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
