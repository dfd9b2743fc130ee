// The settings file object of the main window: the file's full path and the operations over
// the private-profile layer. Every call reads or writes the file anew; nothing is cached.
#pragma once

#include <string>
#include <vector>

#include "app/PrivateProfile.h"

namespace app {

class TIniFile {
 public:
  explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

  // The key's value, or `defaultValue` when the file, the section or the key is missing; at
  // most 511 bytes come back.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // Creates the file, the section and the key as needed. A failure is ignored and not
  // reported; the file is then left as it was.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  // Several keys set or removed in one replacement of the file; failures as WriteString's.
  void Update(const std::vector<TProfileChange>& changes);
  // Removes the key; nothing happens when it is absent.
  void DeleteKey(const std::string& section, const std::string& key);
  // Clears `strings`, then adds the section's key names in file order.
  void ReadSection(const std::string& section, std::vector<std::string>& strings) const;

 private:
  std::string fileName_;
};

}  // namespace app
