#include "app/IniFile.h"

#include "app/PrivateProfile.h"

namespace app {

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  return ReadProfileString(fileName_, section, key, defaultValue);
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  // The settings are a convenience: a file that cannot be written must not stop the program.
  (void)WriteProfileString(fileName_, section, key, value);
}

void TIniFile::Update(const std::vector<TProfileChange>& changes) {
  (void)WriteProfileChanges(fileName_, changes);
}

void TIniFile::DeleteKey(const std::string& section, const std::string& key) {
  (void)DeleteProfileKey(fileName_, section, key);
}

void TIniFile::ReadSection(const std::string& section, std::vector<std::string>& strings) const {
  strings = ReadProfileSection(fileName_, section);
}

}  // namespace app
