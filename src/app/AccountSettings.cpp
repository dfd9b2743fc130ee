#include "app/AccountSettings.h"

#include "sip/Digest.h"

namespace app {

namespace {

const std::string kMainSection = "Telvarion";
const std::string kLastID = "LastID";
const std::string kName = "Name";
const std::string kPass = "Pass";
const std::string kDomain = "Domain";
const std::string kWaveIn = "WaveIn";
const std::string kWaveOut = "WaveOut";

std::optional<std::string> Optional(const TIniFile& file, const std::string& section,
                                    const std::string& key) {
  // The file cannot hold a line break, so none can stand for "absent".
  const std::string absent = "\n";
  std::string value = file.ReadString(section, key, absent);
  if (value == absent) return std::nullopt;
  return value;
}

}  // namespace

std::optional<TSavedAccount> TAccountSettings::Load() const {
  const std::string last = iniFile_.ReadString(kMainSection, kLastID, "");
  if (last.empty()) return std::nullopt;
  return TSavedAccount{last,
                       Optional(iniFile_, last, kName),
                       iniFile_.ReadString(last, kPass, ""),
                       Optional(iniFile_, last, kDomain),
                       iniFile_.ReadString(last, kWaveIn, ""),
                       iniFile_.ReadString(last, kWaveOut, "")};
}

void TAccountSettings::Save(const std::string& userID, const std::string& name,
                            const std::string& domain, const std::optional<std::string>& password,
                            const std::string& waveIn, const std::string& waveOut) {
  // One replacement of the file, not one per key: each costs two flushes to the disk.
  iniFile_.Update(
      {{kMainSection, kLastID, userID},
       {userID, kName, name},
       {userID, kPass,
        password ? std::optional(RememberedPassword(userID, domain, *password)) : std::nullopt},
       {userID, kDomain, domain},
       {userID, kWaveIn, waveIn},
       {userID, kWaveOut, waveOut}});
}

std::string TAccountSettings::RememberedPassword(const std::string& userID,
                                                 const std::string& domain,
                                                 const std::string& password) {
  return "{" + sip::PasswordDigest(userID, domain, password) + "}";
}

}  // namespace app
