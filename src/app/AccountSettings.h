// The account as the settings file remembers it: which account was used last and, per user ID,
// its display name, password digest, domain and audio devices. The password itself is never
// written: only "{" + its digest + "}", which the SIP engine accepts in its place.
#pragma once

#include <optional>
#include <string>

#include "app/IniFile.h"

namespace app {

struct TSavedAccount {
  std::string UserID;
  std::optional<std::string> Name;
  std::string Password;  // the braced digest, or empty when none is remembered
  std::optional<std::string> Domain;
  std::string WaveIn;
  std::string WaveOut;
};

class TAccountSettings {
 public:
  explicit TAccountSettings(TIniFile& iniFile) : iniFile_(iniFile) {}

  // The last account registered; none when no registration succeeded yet.
  std::optional<TSavedAccount> Load() const;
  // After a registration: the account becomes the last one; its password's digest is kept
  // when `password` is given, else forgotten.
  void Save(const std::string& userID, const std::string& name, const std::string& domain,
            const std::optional<std::string>& password, const std::string& waveIn,
            const std::string& waveOut);

  // "{" + the password digest + "}"; a password that is already such a digest stays itself.
  static std::string RememberedPassword(const std::string& userID, const std::string& domain,
                                        const std::string& password);

 private:
  TIniFile& iniFile_;
};

}  // namespace app
