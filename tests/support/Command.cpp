#include "support/Command.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>

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

std::vector<std::string> DecodeWithTshark(const std::vector<std::string>& datagrams,
                                          std::uint16_t from, std::uint16_t to,
                                          const std::string& fields, const std::string& options) {
  TemporaryDirectory folder;
  std::ofstream dump(folder.Path() + "/dump");
  for (const std::string& datagram : datagrams) {
    // text2pcap's hex dump: a line per 16 bytes led by its offset; offset 0 starts a packet.
    for (std::size_t i = 0; i < datagram.size(); ++i) {
      if (i % 16 == 0)
        dump << (i == 0 ? "" : "\n") << std::hex << std::setw(6) << std::setfill('0') << i;
      dump << ' ' << std::setw(2) << static_cast<unsigned>(static_cast<unsigned char>(datagram[i]));
    }
    dump << "\n";
  }
  dump.close();
  const std::string prefix = "cd '" + folder.Path() + "' && ";
  RunCommand(prefix + "text2pcap -q -u " + std::to_string(from) + "," + std::to_string(to) +
             " dump capture.pcap");
  const CommandResult decoded =
      RunCommand(prefix + "tshark -n -r capture.pcap " + options +
                 " -T fields -E separator='|' -E occurrence=f " + fields + " 2>/dev/null");
  std::vector<std::string> lines;
  std::istringstream output(decoded.Output);
  for (std::string line; std::getline(output, line);)
    lines.push_back(line);
  return lines;
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
