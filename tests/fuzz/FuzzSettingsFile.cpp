// The settings file as the program reads it at start: the last account, its keys and its
// phone book, plus the first section the file names, so that the fuzzer needs no section
// name of ours to reach the key walk. The reader only takes file names, so each input is
// written to one file per process in /tmp.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "app/IniFile.h"
#include "app/PhoneBook.h"
#include "app/PrivateProfile.h"

namespace {

constexpr const char* kMainSection = "Telvarion";
// Values never hold a line feed, so this default tells "absent" from any value.
constexpr const char* kAbsent = "\n";

// The file is created once per process and unlinked at once, so that nothing stays behind
// whichever way the run ends; the reader reaches it through this process's descriptor.
// Rewriting it in place never truncates it to nothing, which on ext4 would force the data to
// disk at every close and slow the target a hundredfold.
struct SettingsFile {
  SettingsFile() {
    const std::string name = "/tmp/telvarion-fuzz-settings-" + std::to_string(getpid()) + ".ini";
    fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0);
    unlink(name.c_str());
    path = "/proc/self/fd/" + std::to_string(fd);
  }

  void Write(const std::uint8_t* data, std::size_t size) const {
    std::size_t done = 0;
    while (done < size) {
      const ssize_t put = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
      FUZZ_CHECK(put > 0);
      done += static_cast<std::size_t>(put);
    }
    FUZZ_CHECK(ftruncate(fd, static_cast<off_t>(size)) == 0);
  }

  int fd = -1;
  std::string path;
};

void CheckValue(const std::string& value) {
  FUZZ_CHECK(value.size() < app::kProfileStringBufferSize);
  FUZZ_CHECK(value.find('\n') == std::string::npos);
  // Blanks around a value are not part of it. The cut of a long value may leave one at the
  // end: at 511 bytes, or earlier when the cut backs off over UTF-8 continuation bytes.
  constexpr std::string_view kBlanks = " \t\r\v\f";
  if (value.empty()) return;
  FUZZ_CHECK(kBlanks.find(value.front()) == std::string_view::npos);
  const bool ascii = std::all_of(value.begin(), value.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii && value.size() < app::kProfileStringBufferSize - 1) {
    FUZZ_CHECK(kBlanks.find(value.back()) == std::string_view::npos);
  }
}

// Every read parses the whole file anew, so only the first few names the section lists are
// read back; each must be found.
constexpr std::size_t kNamesReadBack = 3;

void CheckSection(const app::TIniFile& ini, const std::string& section) {
  std::vector<std::string> names;
  ini.ReadSection(section, names);
  std::size_t used = 1;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    FUZZ_CHECK(!name.empty() && name.find('\n') == std::string::npos);
    used += name.size() + 1;
    if (i >= kNamesReadBack) continue;
    const std::string value = ini.ReadString(section, name, kAbsent);
    FUZZ_CHECK(value != kAbsent);
    CheckValue(value);
  }
  FUZZ_CHECK(used <= app::kProfileSectionBufferSize);
}

// The first "[name]" at the start of a line, as the reader would trim it.
std::string FirstSectionName(std::string_view text) {
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    const std::size_t open = line.find_first_not_of(" \t\r\v\f");
    if (open != std::string_view::npos && line[open] == '[') {
      const std::size_t close = line.find(']', open);
      if (close != std::string_view::npos)
        return std::string(line.substr(open + 1, close - open - 1));
    }
    start = end + 1;
  }
  return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const SettingsFile file;
  file.Write(data, size);
  app::TIniFile ini(file.path);

  const std::string last = ini.ReadString(kMainSection, "LastID", "");
  CheckValue(last);
  if (!last.empty()) {
    CheckSection(ini, last);
    app::TPhoneBook book(ini);
    for (const std::string& name : book.Load(last))
      FUZZ_CHECK(!name.empty());
  }
  const std::string first =
      FirstSectionName(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!first.empty()) CheckSection(ini, first);
  return 0;
}
