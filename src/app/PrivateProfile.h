// A private-profile (INI) file, as the settings file of the program is kept: "[section]" lines
// open sections, "key=value" lines set keys. Linux has no such service, so this is our own.
//
// Every call reads the file anew; nothing is cached. Section and key names are matched without
// regard to letter case (ASCII letters and the accented Latin letters of UTF-8 text), and blanks
// around names and values are not part of them. When a section or a key is present twice, the
// first one counts. Lines that are neither sections nor keys (comments, garbage) are never
// read, and a write keeps every line other than the one it sets as it was. The file is replaced
// atomically: the new text goes to a temporary file beside it, which is then renamed over it,
// so a crash or a full disk leaves either the old file or the new one. A new file gets mode
// 0600, because it holds password-equivalent digests; an existing one keeps its mode.
//
// Text is UTF-8, passed through byte for byte. Everything runs on the calling thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// A value is read through a buffer of this many bytes, so at most one less comes back.
inline constexpr std::size_t kProfileStringBufferSize = 512;
// The key names of a section are listed through one buffer of this many bytes, each name
// followed by a zero byte and the list by one more.
inline constexpr std::size_t kProfileSectionBufferSize = 16384;

// The key's value, or the default when the file, the section or the key is missing; either is
// cut to kProfileStringBufferSize - 1 bytes, never inside a UTF-8 character.
std::string ReadProfileString(const std::string& fileName, std::string_view section,
                              std::string_view key, std::string_view defaultValue);

// Sets the key, creating the file, the section (at the end of the file) and the key (after the
// section's last key) as needed. Returns false, leaving the file as it was, when the file
// cannot be read or replaced, or when a name or the value cannot be written as one line (a
// line break or a zero byte anywhere, an empty name, "]" in a section name, "=" in a key name,
// a key name starting with "[", ";" or "#").
bool WriteProfileString(const std::string& fileName, std::string_view section, std::string_view key,
                        std::string_view value);

// One change of a settings file: the key set to the value, or removed when there is none.
struct TProfileChange {
  std::string Section;
  std::string Key;
  std::optional<std::string> Value;
};

// Makes the changes in order, reading the file once and replacing it once, as the single
// writes and removals below would one after the other. A change that cannot be written (see
// WriteProfileString) is left out and the others are made; the result is then false. False
// too, leaving the file as it was, when it cannot be read or replaced. A file that nothing
// changes is not touched.
bool WriteProfileChanges(const std::string& fileName, const std::vector<TProfileChange>& changes);

// Removes the key (every line of it in the section). Nothing happens, and the file is not
// touched, when the file, the section or the key is absent. Returns false when the file could
// not be read or replaced.
bool DeleteProfileKey(const std::string& fileName, std::string_view section, std::string_view key);

// The key names of the section in file order, each name once (in its first spelling), as many
// whole names as fit in kProfileSectionBufferSize bytes.
std::vector<std::string> ReadProfileSection(const std::string& fileName, std::string_view section);

// `text` with letter case folded as the settings file compares names: ASCII, and the accented
// capitals of Latin-1 in UTF-8.
std::string FoldCase(std::string_view text);

}  // namespace app
