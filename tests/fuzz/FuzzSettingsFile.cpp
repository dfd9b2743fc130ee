// The settings file as the program reads it at start: the last account, its keys, its phone
// book, and the first section the file names, so that the fuzzer needs no name of ours to reach
// the key walk. The file is made once per process and unlinked at once, so that nothing stays
// behind; rewriting it in place never truncates it to nothing, which on ext4 would force the
// data to disk at every close and slow the target a hundredfold.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "app/AccountSettings.h"
#include "app/PrivateProfile.h"

namespace {

void CheckValue(const std::string& value) {
  constexpr std::string_view kBlanks = " \t\r\v\f";
  FUZZ_CHECK(value.size() < app::kProfileStringBufferSize && value.find('\n') == std::string::npos);
  if (value.empty()) return;
  // Blanks around a value are not part of it, but a cut at 511 bytes (or earlier, backing off
  // over UTF-8 continuation bytes) may end on one.
  FUZZ_CHECK(kBlanks.find(value.front()) == std::string_view::npos);
  const bool ascii = std::ranges::all_of(value, [](char c) { return (c & 0x80) == 0; });
  if (ascii && value.size() < app::kProfileStringBufferSize - 1)
    FUZZ_CHECK(kBlanks.find(value.back()) == std::string_view::npos);
}

// Every read parses the whole file anew: only the first names listed are read back.
void CheckSection(const app::TIniFile& ini, const std::string& section) {
  std::vector<std::string> names;
  ini.ReadSection(section, names);
  std::size_t used = 1;
  for (std::size_t i = 0; i < names.size(); ++i) {
    FUZZ_CHECK(!names[i].empty() && names[i].find('\n') == std::string::npos);
    used += names[i].size() + 1;
    if (i >= 3) continue;
    const std::string value = ini.ReadString(section, names[i], "\n");
    FUZZ_CHECK(value != "\n");
    CheckValue(value);
  }
  FUZZ_CHECK(used <= app::kProfileSectionBufferSize);
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
    CheckValue(saved->UserID);
    CheckSection(ini, saved->UserID);
    CheckSection(ini, saved->UserID + ".Phones");
  }
  // The first "[name]" at the start of a line, trimmed as the reader trims it.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (std::size_t start = 0, end = 0; end != std::string_view::npos; start = end + 1) {
    end = text.find('\n', start);
    const std::string_view line = text.substr(std::min(start, size), end - start);
    const std::size_t open = line.find_first_not_of(" \t\r\v\f");
    if (open == std::string_view::npos || line[open] != '[') continue;
    if (const std::size_t close = line.find(']', open); close != std::string_view::npos) {
      CheckSection(ini, std::string(line.substr(open + 1, close - open - 1)));
      break;
    }
  }
  return 0;
}
