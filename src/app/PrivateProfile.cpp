#include "app/PrivateProfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace app {

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  return FoldCase(a) == FoldCase(b);
}

// What the buffer of the read keeps, without splitting a UTF-8 character.
std::string CutToBuffer(std::string_view text) {
  constexpr std::size_t kLimit = kProfileStringBufferSize - 1;
  if (text.size() <= kLimit) return std::string(text);
  std::size_t length = kLimit;
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
    --length;
  return std::string(text.substr(0, length));
}

enum class LineKind { Other, Section, UnnamedSection, Key };

struct Line {
  std::string Raw;  // as in the file, without its "\n"
  LineKind Kind = LineKind::Other;
  std::string Name;
  std::string Value;
};

Line ParseLine(std::string raw, bool first) {
  Line line;
  std::string_view text = raw;
  if (first && text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
  text = Trim(text);
  if (text.empty() || text.front() == ';' || text.front() == '#') {
    line.Kind = LineKind::Other;
  } else if (text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string_view::npos) {
      // A broken header still ends the section before it, so that its keys are not read as
      // the previous section's; it matches no name.
      line.Kind = LineKind::UnnamedSection;
    } else {
      line.Kind = LineKind::Section;
      line.Name = std::string(Trim(text.substr(1, close - 1)));
    }
  } else if (const auto equals = text.find('='); equals != std::string_view::npos) {
    const auto name = Trim(text.substr(0, equals));
    if (!name.empty()) {
      line.Kind = LineKind::Key;
      line.Name = std::string(name);
      line.Value = std::string(Trim(text.substr(equals + 1)));
    }
  }
  line.Raw = std::move(raw);
  return line;
}

struct Profile {
  std::vector<Line> Lines;
  bool CrLf = false;  // the file's lines end in CR LF: new lines get the same ending

  // Index of the first header of the section, or npos.
  std::size_t FindSection(std::string_view section) const {
    const std::string folded = FoldCase(Trim(section));
    for (std::size_t i = 0; i < Lines.size(); ++i) {
      if (Lines[i].Kind == LineKind::Section && FoldCase(Lines[i].Name) == folded) return i;
    }
    return std::string::npos;
  }

  // One past the last line of the section opened at `header`.
  std::size_t SectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < Lines.size() && Lines[i].Kind != LineKind::Section &&
           Lines[i].Kind != LineKind::UnnamedSection) {
      ++i;
    }
    return i;
  }

  std::size_t FindKey(std::size_t header, std::string_view key) const {
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
      if (Lines[i].Kind == LineKind::Key && SameName(Lines[i].Name, key)) return i;
    }
    return std::string::npos;
  }

  void Append(std::size_t at, std::string text) {
    if (CrLf) text.push_back('\r');
    Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(at),
                 ParseLine(std::move(text), false));
  }

  // Sets the key, creating the section (at the end) and the key (after the section's last key)
  // as needed; the names are writable and trimmed.
  void Set(std::string_view section, std::string_view key, std::string_view value) {
    const std::size_t header = FindSection(section);
    if (header == std::string::npos) {
      if (!Lines.empty() && !Trim(Lines.back().Raw).empty()) Append(Lines.size(), std::string());
      Append(Lines.size(), "[" + std::string(section) + "]");
      Append(Lines.size(), std::string(key) + "=" + std::string(value));
      return;
    }
    const std::size_t line = FindKey(header, key);
    if (line != std::string::npos) {
      // The key keeps the spelling it has in the file.
      const std::string name = Lines[line].Name;
      Lines.erase(Lines.begin() + static_cast<std::ptrdiff_t>(line));
      Append(line, name + "=" + std::string(value));
      return;
    }
    // A new key goes after the section's last key, before any comment or blank line that
    // separates it from the next section.
    std::size_t at = header + 1;
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
      if (Lines[i].Kind == LineKind::Key) at = i + 1;
    }
    Append(at, std::string(key) + "=" + std::string(value));
  }

  // Removes every line of the key, so that a later read cannot find a second copy of it;
  // whether there was one.
  bool Remove(std::string_view section, std::string_view key) {
    const std::size_t header = FindSection(section);
    if (header == std::string::npos) return false;
    bool removed = false;
    for (std::size_t line; (line = FindKey(header, Trim(key))) != std::string::npos;) {
      Lines.erase(Lines.begin() + static_cast<std::ptrdiff_t>(line));
      removed = true;
    }
    return removed;
  }

  std::string Text() const {
    std::string text;
    for (const Line& line : Lines) {
      text += line.Raw;
      text.push_back('\n');
    }
    return text;
  }
};

Profile Parse(const std::string& text) {
  Profile profile;
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    // A last line without its newline is a line all the same.
    if (end == std::string::npos) end = text.size();
    profile.Lines.push_back(ParseLine(text.substr(start, end - start), start == 0));
    start = end + 1;
  }
  profile.CrLf = !profile.Lines.empty() && profile.Lines.front().Raw.ends_with('\r');
  return profile;
}

// The file's text; empty for a missing file; nullopt when it exists but cannot be read, so
// that a write never replaces a file whose content it does not know.
std::optional<std::string> Load(const std::string& fileName) {
  const int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::string();
    return std::nullopt;
  }
  std::string text;
  char buffer[8192];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return text;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t put = write(fd, text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

std::string ParentFolder(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Writes `text` to a temporary file beside the target and renames it over the target. On any
// failure the temporary file is removed and the target is left as it was.
bool Replace(const std::string& fileName, const std::string& text) {
  // A link to the settings file stays a link: the file it names is replaced.
  std::string target = fileName;
  if (char* resolved = realpath(fileName.c_str(), nullptr)) {
    target = resolved;
    std::free(resolved);
  }
  std::string temporary = target + ".XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);  // mode 0600
  if (fd < 0) return false;
  bool ok = true;
  struct stat old {};
  if (stat(target.c_str(), &old) == 0) ok = fchmod(fd, old.st_mode & 07777) == 0;
  ok = ok && WriteAll(fd, text) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && std::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  // The new name is made durable too, so that after a crash the folder does not point at a
  // file that was never complete.
  const int folder = open(ParentFolder(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return true;
}

bool HasLineBreakOrZero(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool WritableSection(std::string_view section) {
  return !section.empty() && !HasLineBreakOrZero(section) &&
         section.find(']') == std::string_view::npos;
}

bool WritableKey(std::string_view key) {
  return !key.empty() && !HasLineBreakOrZero(key) && key.find('=') == std::string_view::npos &&
         key.front() != '[' && key.front() != ';' && key.front() != '#';
}

bool Writable(const TProfileChange& change) {
  return WritableSection(Trim(change.Section)) && WritableKey(Trim(change.Key)) &&
         !HasLineBreakOrZero(*change.Value);
}

}  // namespace

// Letter case is folded for ASCII and for the accented capitals of Latin-1 (U+00C0 to U+00DE
// but the multiplication sign), which in UTF-8 are 0xC3 0x80..0x9E: French names such as
// "Élodie" and "élodie" must meet, as they did with the single-byte code page.
std::string FoldCase(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 'A' && byte <= 'Z') {
      folded.push_back(static_cast<char>(byte + ('a' - 'A')));
    } else if (byte == 0xC3 && i + 1 < text.size()) {
      auto next = static_cast<unsigned char>(text[i + 1]);
      if (next >= 0x80 && next <= 0x9E && next != 0x97)
        next = static_cast<unsigned char>(next + 0x20);
      folded.push_back(static_cast<char>(byte));
      folded.push_back(static_cast<char>(next));
      ++i;
    } else {
      folded.push_back(static_cast<char>(byte));
    }
  }
  return folded;
}

std::string ReadProfileString(const std::string& fileName, std::string_view section,
                              std::string_view key, std::string_view defaultValue) {
  const auto text = Load(fileName);
  if (!text) return CutToBuffer(defaultValue);
  const Profile profile = Parse(*text);
  const std::size_t header = profile.FindSection(section);
  if (header == std::string::npos) return CutToBuffer(defaultValue);
  const std::size_t line = profile.FindKey(header, Trim(key));
  if (line == std::string::npos) return CutToBuffer(defaultValue);
  return CutToBuffer(profile.Lines[line].Value);
}

bool WriteProfileString(const std::string& fileName, std::string_view section, std::string_view key,
                        std::string_view value) {
  return WriteProfileChanges(fileName,
                             {{std::string(section), std::string(key), std::string(value)}});
}

bool DeleteProfileKey(const std::string& fileName, std::string_view section, std::string_view key) {
  return WriteProfileChanges(fileName, {{std::string(section), std::string(key), std::nullopt}});
}

bool WriteProfileChanges(const std::string& fileName, const std::vector<TProfileChange>& changes) {
  // Names and values that cannot be written fail before the file is even read.
  bool all = true;
  std::vector<const TProfileChange*> writable;
  for (const TProfileChange& change : changes) {
    if (!change.Value || Writable(change)) {
      writable.push_back(&change);
    } else {
      all = false;
    }
  }
  if (writable.empty()) return all;
  const auto text = Load(fileName);
  if (!text) return false;
  Profile profile = Parse(*text);
  bool changed = false;
  for (const TProfileChange* change : writable) {
    if (change->Value) {
      profile.Set(Trim(change->Section), Trim(change->Key), *change->Value);
      changed = true;
    } else {
      changed = profile.Remove(change->Section, change->Key) || changed;
    }
  }
  const std::string updated = profile.Text();
  // What the file says already (each registration of a remembered account) is not written
  // again: no replacement, no wait on the disk between the server's 200 and the phone book.
  if (!changed || updated == *text) return all;
  return Replace(fileName, updated) && all;
}

std::vector<std::string> ReadProfileSection(const std::string& fileName, std::string_view section) {
  std::vector<std::string> names;
  const auto text = Load(fileName);
  if (!text) return names;
  const Profile profile = Parse(*text);
  const std::size_t header = profile.FindSection(section);
  if (header == std::string::npos) return names;

  std::vector<std::string> folded;
  // Each name takes its length and a zero byte; one zero byte ends the list.
  std::size_t used = 1;
  const std::size_t end = profile.SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    const Line& line = profile.Lines[i];
    if (line.Kind != LineKind::Key) continue;
    std::string key = FoldCase(line.Name);
    bool seen = false;
    for (const std::string& other : folded)
      seen = seen || other == key;
    if (seen) continue;
    if (used + line.Name.size() + 1 > kProfileSectionBufferSize) break;
    used += line.Name.size() + 1;
    names.push_back(line.Name);
    folded.push_back(std::move(key));
  }
  return names;
}

}  // namespace app
