// The settings file as the program reads it at start: the last account, its keys and its phone
// book, and the section the input's first line names, so that the fuzzer needs no name of ours
// to reach the key walk. The file is made once per process and unlinked at once, so that nothing
// stays behind; rewriting it in place never truncates it to nothing, which on ext4 would force
// the data to disk at every close and slow the target a hundredfold.
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "app/AccountSettings.h"
#include "app/PrivateProfile.h"

namespace {

// A value or a name read back is always one line, within the reader's buffer: written again
// it cannot become two keys.
void CheckSection(const app::TIniFile& ini, const std::string& section) {
  std::vector<std::string> names;
  ini.ReadSection(section, names);
  for (std::size_t i = 0; i < names.size(); ++i) {
    FUZZ_CHECK(!names[i].empty() && names[i].find('\n') == std::string::npos);
    if (i >= 3) continue;
    const std::string value = ini.ReadString(section, names[i], "");
    FUZZ_CHECK(value.size() < app::kProfileStringBufferSize &&
               value.find('\n') == std::string::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int fd = [] {
    const std::string name = "/tmp/telvarion-fuzz-" + std::to_string(getpid()) + ".ini";
    const int file = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    FUZZ_CHECK(file >= 0);
    unlink(name.c_str());
    return file;
  }();
  FUZZ_CHECK(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size) && ftruncate(fd, size) == 0);
  app::TIniFile ini("/proc/self/fd/" + std::to_string(fd));
  if (const auto saved = app::TAccountSettings(ini).Load()) {
    CheckSection(ini, saved->UserID);
    CheckSection(ini, saved->UserID + ".Phones");
  }
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (text.starts_with("[")) CheckSection(ini, text.substr(1, text.find_first_of("]\r\n") - 1));
  return 0;
}
